#include "socket/socket_exception.h"

#include <cerrno>
#include <cstring>

namespace {

// strerror_r in its GNU form may or may not use the buffer; both forms end
// up as the returned pointer.
std::string system_error_text(int error_number) {
  char buffer[256];
  return std::string(strerror_r(error_number, buffer, sizeof(buffer)));
}

}  // namespace

SocketException::SocketException(const std::string& message, bool incSysMsg)
    : message_(message) {
  if (incSysMsg) {
    const int error_number = errno;
    message_.append(": ");
    message_.append(system_error_text(error_number));
  }
}

SocketException::~SocketException() noexcept = default;

const char* SocketException::what() const noexcept { return message_.c_str(); }
