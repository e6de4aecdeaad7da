// SocketException: the one exception of the socket layer. It carries a
// Russian message for the operator, optionally followed by ": " and the
// system's text for the error number current when it was built.
#ifndef NORVALEN_SOCKET_SOCKET_EXCEPTION_H_
#define NORVALEN_SOCKET_SOCKET_EXCEPTION_H_

#include <exception>
#include <string>

class SocketException : public std::exception {
 public:
  // With `incSysMsg` the stored text is `message` + ": " + strerror(errno),
  // errno being read here, so build the exception right after the failing
  // call.
  explicit SocketException(const std::string& message, bool incSysMsg = false);
  ~SocketException() noexcept override;

  const char* what() const noexcept override;

 private:
  std::string message_;
};

#endif  // NORVALEN_SOCKET_SOCKET_EXCEPTION_H_
