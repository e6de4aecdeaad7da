// RequestSource: the requests to send, one at a time, from the command-line
// arguments or from a stream read one line per request. Lines are read only
// when asked for, so requests typed at a terminal go out as they are typed.
#ifndef NORVALEN_POS_REQUEST_SOURCE_H_
#define NORVALEN_POS_REQUEST_SOURCE_H_

#include <istream>
#include <string>
#include <vector>

class RequestSource {
 public:
  explicit RequestSource(std::vector<std::string> requests);
  // `in` must outlive the source.
  explicit RequestSource(std::istream* in);

  // The next request; false when there are no more. Lines that hold only
  // white space are skipped, and a line end of "\r\n" counts as "\n".
  bool next(std::string* request);

 private:
  std::vector<std::string> requests_;
  std::size_t nextIndex_ = 0;
  std::istream* in_ = nullptr;
};

#endif  // NORVALEN_POS_REQUEST_SOURCE_H_
