// RequestFramer: cuts the byte stream of one POS connection into requests.
//
// POS programs write through ordinary buffered streams, so a request may
// arrive in several TCP segments and several requests in one. The framer
// keeps the received bytes and hands out whole requests:
//  - blanks, NUL bytes and comments between requests are skipped;
//  - text that begins with "{" or "[" is one request once that JSON value is
//    complete (strings, escapes, comments and nesting are tracked);
//  - text that begins with anything else is one request at once, up to the
//    first NUL byte of what has been received (so "hello" is answered with
//    the format error at once);
//  - text that follows a complete value in the same receive and cannot
//    begin another object or array is dropped;
//  - a value that grows past kMaxRequest bytes without completing is
//    reported once as oversized and its bytes are discarded until it ends;
//    the connection stays usable.
#ifndef NORVALEN_SERVICE_REQUEST_FRAMER_H_
#define NORVALEN_SERVICE_REQUEST_FRAMER_H_

#include <cstddef>
#include <string>
#include <vector>

class RequestFramer {
 public:
  static const std::size_t kMaxRequest = 524288;

  struct Item {
    bool oversized = false;  // true: answer with the format error, no text
    std::string text;        // the request text when not oversized
  };

  // Adds the bytes of one receive and appends every request they complete.
  void feed(const char* data, std::size_t length, std::vector<Item>* out);

  // Bytes held for a request that is not complete yet.
  std::size_t pending() const { return buffer_.size(); }

 private:
  // Scanner state of the value being collected.
  struct Scan {
    int depth = 0;
    bool inString = false;
    bool escape = false;
    bool lineComment = false;
    bool blockComment = false;
    char prev = 0;
  };

  // Advances the scan over buffer_[pos_..]; true when the value is complete
  // (pos_ is then just past its last byte).
  bool scanValue();
  void scanByte(char c);
  // Skips blanks, NULs and complete comments at the front of buffer_;
  // false when an unfinished comment needs more bytes.
  bool skipSeparators();

  std::string buffer_;     // unconsumed bytes, beginning at a request
  std::size_t pos_ = 0;    // scan position inside buffer_
  bool scanning_ = false;  // a "{" or "[" value is being collected
  bool discarding_ = false;  // an oversized value is being skipped
  Scan scan_;
};

#endif  // NORVALEN_SERVICE_REQUEST_FRAMER_H_
