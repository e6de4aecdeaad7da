// RequestFramer: cuts the byte stream of one POS connection into requests.
//
// POS programs write through ordinary buffered streams, so a request may
// arrive in several TCP segments and several requests in one. The framer
// hands out whole requests:
//  - blanks, NUL bytes and comments between requests are skipped;
//  - text that begins with "{" or "[" is one request once that JSON value is
//    complete (strings, escapes, comments and nesting are tracked);
//  - text that begins with anything else is one request at once, up to the
//    first NUL byte of what has been received (so "hello" is answered with
//    the format error at once);
//  - text that follows a complete value in the same receive and cannot
//    begin another object or array is dropped.
//
// Limits, so that no stream can cost a connection more than a request:
//  - Every byte the framer holds open counts against kMaxRequest: the bytes
//    of a value not complete yet, or of a comment between requests not
//    ended yet (from its "/"). Blanks and ended comments are dropped as they
//    pass and cost nothing; the bytes of an open comment are not kept. A
//    value or comment that reaches kMaxRequest bytes still open is reported
//    once as oversized and the rest of it is skipped without being kept; the
//    connection stays usable.
//  - Each byte is looked at once: a scan goes on where the last receive
//    left it, and nothing held is scanned again.
//  - The quiet time: when nothing has arrived for kQuietTimeMs while
//    something is open (waiting() is true), the session calls flush(). A
//    value still open then is handed out once as unfinished, to be answered
//    with the format error; an open comment or the skipping of an oversized
//    run simply ends. Either way the framer starts afresh, so a request one
//    brace short cannot make the connection deaf. A request that arrives in
//    pieces with shorter pauses is not affected.
#ifndef NORVALEN_SERVICE_REQUEST_FRAMER_H_
#define NORVALEN_SERVICE_REQUEST_FRAMER_H_

#include <cstddef>
#include <string>
#include <vector>

class RequestFramer {
 public:
  // The most bytes held open at once: a value, or a comment between values.
  static constexpr std::size_t kMaxRequest = 524288;
  // Silence after which what is still open is given up (see flush).
  static constexpr int kQuietTimeMs = 1000;

  struct Item {
    bool oversized = false;   // past kMaxRequest: the format error, no text
    bool unfinished = false;  // still open at the quiet time: the format
                              // error; `text` holds what had arrived
    std::string text;         // the request text
  };

  // Adds the bytes of one receive and appends every request they complete.
  void feed(const char* data, std::size_t length, std::vector<Item>* out);

  // The quiet time has passed: appends an unfinished value (or a lone "/",
  // which is text then) and gives up whatever else is open; the framer is
  // then as on a new connection. Appends nothing when nothing was open.
  void flush(std::vector<Item>* out);

  // True while something is open that more bytes would go on with: a value,
  // a comment, a lone "/", or an oversized run being skipped. Only then
  // does the session wait for bytes with the quiet time.
  bool waiting() const;

  // Bytes held for a request that is not complete yet.
  std::size_t pending() const { return value_.size(); }

 private:
  enum Mode {
    kGap,      // between requests
    kValue,    // collecting a "{" or "[" value into value_
    kSkipping  // the rest of an oversized value, not kept
  };
  // Where the scan between requests is.
  enum Gap {
    kBlank,         // blanks and NULs
    kSlash,         // a "/" that may begin a comment
    kLineComment,   // after "//", up to a line feed
    kBlockComment,  // after "/*"
    kBlockStar      // a "*" inside a block comment, maybe its end
  };
  // Scanner state inside a value.
  struct Scan {
    int depth = 0;
    bool inString = false;
    bool escape = false;
    bool lineComment = false;
    bool blockComment = false;
    char prev = 0;
  };

  // Advances the value scan over `c`; true when `c` completes the value.
  bool scanByte(char c);
  // Scans data[*at..length) between requests; returns when a value begins
  // (mode_ is then kValue) or the receive is used up.
  void scanGap(const char* data, std::size_t length, std::size_t* at, bool afterValue,
               std::vector<Item>* out);
  // Counts one byte of an open comment against the cap.
  void countOpen(std::vector<Item>* out);
  // Back to the state of a new connection; frees what was held.
  void reset();

  Mode mode_ = kGap;
  Gap gap_ = kBlank;
  std::size_t openBytes_ = 0;     // bytes of the open comment so far
  bool openReported_ = false;     // the open comment was reported oversized
  bool slashAfterValue_ = false;  // the pending "/" followed a value in its receive
  std::string value_;             // the value being collected
  Scan scan_;
};

#endif  // NORVALEN_SERVICE_REQUEST_FRAMER_H_
