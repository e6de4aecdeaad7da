#include "pos_link.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Connects `fd` to `address` within the time limit: the descriptor is
// non-blocking only for the duration of the connect. Returns 0 or errno.
int connect_within(int fd, const addrinfo& address, Clock::time_point deadline) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return errno;
  int result = 0;
  if (::connect(fd, address.ai_addr, address.ai_addrlen) < 0) {
    result = errno;
    if (result == EINPROGRESS) {
      pollfd wanted{fd, POLLOUT, 0};
      int ready;
      do {
        ready = ::poll(&wanted, 1, remaining_ms(deadline));
      } while (ready < 0 && errno == EINTR);
      if (ready == 0) {
        result = ETIMEDOUT;
      } else if (ready < 0) {
        result = errno;
      } else {
        socklen_t length = sizeof(result);
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &length) < 0) result = errno;
      }
    }
  }
  if (result == 0 && ::fcntl(fd, F_SETFL, flags) < 0) result = errno;
  return result;
}

}  // namespace

int PosLink::open(const std::string& host, unsigned short port, int timeoutMs,
                  std::string* error) {
  close();
  const std::string where = host + ":" + std::to_string(port);
  addrinfo hints{};
  hints.ai_family = AF_INET;  // the daemon listens on IPv4 only
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int resolved = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (resolved != 0) {
    *error = "cannot resolve " + host + ": " + ::gai_strerror(resolved);
    return -1;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int lastError = ECONNREFUSED;
  for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
    const int fd = ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC,
                            address->ai_protocol);
    if (fd < 0) {
      lastError = errno;
      continue;
    }
    auto candidate = std::make_unique<TCPSocket>(fd);
    lastError = connect_within(fd, *address, deadline);
    if (lastError == 0) {
      socket_ = std::move(candidate);
      break;
    }
  }
  ::freeaddrinfo(found);
  if (!socket_) {
    *error = "cannot connect to " + where + ": " + std::strerror(lastError);
    return -1;
  }
  return 0;
}

void PosLink::close() {
  socket_.reset();
  pending_.clear();
}

bool PosLink::send(const std::string& request, std::string* error) {
  if (!socket_) {
    *error = "not connected";
    return false;
  }
  try {
    socket_->sendAll(request.data(), request.size());
  } catch (const SocketException& failure) {
    *error = failure.what();
    return false;
  }
  return true;
}

PosLink::ReadResult PosLink::readLine(int timeoutMs, std::string* line) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const std::size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      line->assign(pending_, 0, end);
      pending_.erase(0, end + 1);
      return kLine;
    }
    if (!socket_) {
      line->swap(pending_);
      pending_.clear();
      return kClosed;
    }
    pollfd wanted{socket_->descriptor(), POLLIN, 0};
    const int ready = ::poll(&wanted, 1, remaining_ms(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) return kTimedOut;
    char chunk[65536];
    std::size_t got = 0;
    try {
      got = ready > 0 ? socket_->recv(chunk, sizeof(chunk)) : 0;
    } catch (const SocketException&) {
      got = 0;  // a reset ends the conversation like a close
    }
    if (got == 0) {
      socket_.reset();
      continue;  // hands out what is left, then reports the close
    }
    pending_.append(chunk, got);
  }
}
