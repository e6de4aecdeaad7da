#include "support/tcp_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<unsigned short>(port));
  return address;
}

}  // namespace

TcpClient::~TcpClient() { close(); }

bool TcpClient::connect(int port, std::chrono::milliseconds timeout) {
  close();
  const auto deadline = Clock::now() + timeout;
  const sockaddr_in address = loopback(port);
  for (;;) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
      fd_ = fd;
      peerClosed_ = false;
      buffer_.clear();
      return true;
    }
    const int error = errno;
    ::close(fd);
    if (error != ECONNREFUSED && error != EINTR) return false;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool TcpClient::sendRaw(const std::string& bytes) {
  if (fd_ < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t sent = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(sent);
  }
  return true;
}

bool TcpClient::fill(std::chrono::milliseconds timeout) {
  if (fd_ < 0 || peerClosed_) return false;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    pollfd wanted{fd_, POLLIN, 0};
    const int ready = ::poll(&wanted, 1, remaining_ms(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char chunk[65536];
    const ssize_t got = ::recv(fd_, chunk, sizeof(chunk), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      peerClosed_ = true;  // end of file, or a reset
      return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(got));
    return true;
  }
}

std::optional<std::string> TcpClient::readLine(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const std::size_t end = buffer_.find('\n');
    if (end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      return line;
    }
    if (!fill(std::chrono::milliseconds(remaining_ms(deadline)))) return std::nullopt;
  }
}

bool TcpClient::isClosedByPeer(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!peerClosed_ && fd_ >= 0) {
    if (!fill(std::chrono::milliseconds(remaining_ms(deadline))) && !peerClosed_) return false;
  }
  return peerClosed_;
}

void TcpClient::close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

void TcpClient::resetConnection() {
  if (fd_ < 0) return;
  linger abort{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
  close();
}

int FindFreeTcpPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = 0;
  socklen_t length = sizeof(address);
  int port = -1;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}
