#include "socket/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace {

// The peer address of a connected descriptor; false with errno set.
bool peer_address(int descriptor, sockaddr_in* address) {
  socklen_t length = sizeof(*address);
  return ::getpeername(descriptor, reinterpret_cast<sockaddr*>(address), &length) == 0;
}

}  // namespace

// ---- Socket ----

Socket::Socket(int type, int protocol) : sockDesc_(::socket(PF_INET, type, protocol)) {
  if (sockDesc_ < 0) throw SocketException("Ошибка создания сокета", true);
}

Socket::Socket(int descriptor) : sockDesc_(descriptor) {}

Socket::~Socket() {
  if (sockDesc_ >= 0) {
    ::close(sockDesc_);
    sockDesc_ = -1;
  }
}

void Socket::setLocalPort(unsigned short localPort) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(localPort);
  if (::bind(sockDesc_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) < 0) {
    throw SocketException("Ошибка привязки к номеру порта", true);
  }
}

// ---- CommunicatingSocket ----

void CommunicatingSocket::send(const void* buffer, std::size_t bufferLen) {
  if (::send(descriptor(), buffer, bufferLen, 0) < 0) {
    throw SocketException("Ошибка отправки данных", true);
  }
}

void CommunicatingSocket::sendAll(const void* buffer, std::size_t bufferLen) {
  const char* next = static_cast<const char*>(buffer);
  std::size_t left = bufferLen;
  while (left > 0) {
    const ssize_t sent = ::send(descriptor(), next, left, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      throw SocketException("Ошибка отправки данных", true);
    }
    next += sent;
    left -= static_cast<std::size_t>(sent);
  }
}

std::size_t CommunicatingSocket::recv(void* buffer, std::size_t bufferLen) {
  const ssize_t received = ::recv(descriptor(), buffer, bufferLen, 0);
  if (received < 0) throw SocketException("Ошибка получения данных");
  return static_cast<std::size_t>(received);
}

bool CommunicatingSocket::waitReadable(int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  int left = timeoutMs < 0 ? 0 : timeoutMs;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(left);
  for (;;) {
    pollfd wanted{descriptor(), POLLIN, 0};
    const int ready = ::poll(&wanted, 1, left);
    if (ready > 0) return true;
    if (ready == 0) return false;
    if (errno != EINTR) throw SocketException("Ошибка ожидания данных", true);
    const auto rest =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    left = rest > 0 ? static_cast<int>(rest) : 0;
  }
}

std::string CommunicatingSocket::getForeignAddress() const {
  sockaddr_in address{};
  if (!peer_address(descriptor(), &address)) {
    throw SocketException("Ошибка получения адреса подключения", true);
  }
  char text[INET_ADDRSTRLEN] = {0};
  if (::inet_ntop(AF_INET, &address.sin_addr, text, sizeof(text)) == nullptr) {
    throw SocketException("Ошибка получения адреса подключения", true);
  }
  return std::string(text);
}

unsigned short CommunicatingSocket::getForeignPort() const {
  sockaddr_in address{};
  if (!peer_address(descriptor(), &address)) {
    throw SocketException("Ошибка получения порта подключения", true);
  }
  return ntohs(address.sin_port);
}

// ---- TCPServerSocket ----

// A throw from a step leaves through the finished Socket base, whose
// destructor closes the descriptor.
TCPServerSocket::TCPServerSocket(unsigned short localPort, int queueLen)
    : Socket(SOCK_STREAM, IPPROTO_TCP) {
  const int on = 1;
  if (::setsockopt(descriptor(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) < 0) {
    throw SocketException("Ошибка установки параметров сокета", true);
  }
  setLocalPort(localPort);
  setListen(queueLen);
}

void TCPServerSocket::setListen(int queueLen) {
  if (::listen(descriptor(), queueLen) < 0) {
    throw SocketException("Ошибка установки ожидания соединений", true);
  }
}

std::unique_ptr<TCPSocket> TCPServerSocket::accept() {
  const int connection = ::accept(descriptor(), nullptr, nullptr);
  if (connection < 0) throw SocketException("Ошибка принятия поключения к сокету", true);
  return std::make_unique<TCPSocket>(connection);
}

void TCPServerSocket::shutdown() {
  if (descriptor() >= 0) ::shutdown(descriptor(), SHUT_RDWR);
}
