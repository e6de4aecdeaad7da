// Blocking IPv4 TCP sockets: the listening socket of the POS server and the
// connected socket a client session talks through.
//
// Each object owns exactly one descriptor and closes it when destroyed. The
// classes add no buffering or framing: `send` and `recv` are one system call
// each and wait as the system does; waitReadable is the one wait with a time
// limit. The one socket option set is address reuse on the listening socket
// (see TCPServerSocket). Every failure throws SocketException with the
// operator's text; the object stays valid and keeps its descriptor. An
// object is used by one thread at a time, except TCPServerSocket::shutdown
// (see there).
//
// The classes have no virtual functions; destroy an object through its own
// type (std::unique_ptr<TCPSocket>, not a Socket pointer).
#ifndef NORVALEN_SOCKET_SOCKET_H_
#define NORVALEN_SOCKET_SOCKET_H_

#include <cstddef>
#include <memory>
#include <string>

#include "socket/socket_exception.h"

class Socket {
 public:
  // Creates an IPv4 socket of `type` and `protocol`.
  // Throws "Ошибка создания сокета: <system text>".
  Socket(int type, int protocol);
  // Adopts an open descriptor; never throws.
  explicit Socket(int descriptor);
  // Closes the descriptor (if still open) and sets it to -1.
  ~Socket();

  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // Binds to all local IPv4 addresses and `localPort` (host order).
  // Throws "Ошибка привязки к номеру порта: <system text>".
  void setLocalPort(unsigned short localPort);

  // The owned descriptor, -1 once closed. For poll() and the like; the
  // object keeps ownership.
  int descriptor() const { return sockDesc_; }

 private:
  int sockDesc_;
};

// A connected stream socket.
class CommunicatingSocket : public Socket {
 public:
  CommunicatingSocket(int type, int protocol) : Socket(type, protocol) {}
  explicit CommunicatingSocket(int descriptor) : Socket(descriptor) {}

  // One system send of `bufferLen` bytes, flags 0. A partial send counts as
  // success and is not retried: use sendAll when the whole buffer must go.
  // Throws "Ошибка отправки данных: <system text>".
  void send(const void* buffer, std::size_t bufferLen);

  // Sends the whole buffer, repeating the system send after a partial send
  // or an interrupted call. Writing to a connection the peer has closed
  // raises no SIGPIPE here; it fails like any other send.
  // Throws "Ошибка отправки данных: <system text>"; how much was sent before
  // the failure is then unknown.
  void sendAll(const void* buffer, std::size_t bufferLen);

  // One system receive of at most `bufferLen` bytes, flags 0. Returns the
  // count received; 0 means the peer has closed the connection.
  // Throws "Ошибка получения данных" (no system text).
  std::size_t recv(void* buffer, std::size_t bufferLen);

  // Waits at most `timeoutMs` milliseconds (0 or more) until a receive
  // would not block: bytes have arrived, the peer has closed, or the
  // connection has failed. True when so, false when the time ran out. A
  // signal does not cut the wait short; it goes on for the time left.
  // Throws "Ошибка ожидания данных: <system text>".
  bool waitReadable(int timeoutMs);

  // The peer's IPv4 address in dotted-decimal form.
  // Throws "Ошибка получения адреса подключения: <system text>".
  std::string getForeignAddress() const;

  // The peer's port in host order.
  // Throws "Ошибка получения порта подключения: <system text>".
  unsigned short getForeignPort() const;
};

// One TCP connection; made from an accepted (or otherwise connected)
// descriptor.
class TCPSocket : public CommunicatingSocket {
 public:
  explicit TCPSocket(int descriptor) : CommunicatingSocket(descriptor) {}
};

// A listening TCP socket on all local IPv4 addresses.
class TCPServerSocket : public Socket {
 public:
  // Creates the socket, asks for address reuse, binds it to `localPort` and
  // starts listening with a backlog of `queueLen`. Address reuse lets a
  // restarted daemon bind at once while connections of the earlier process
  // still wait out TCP's closing time on the port; a port on which another
  // socket listens is still refused. Throws the exception of the failing
  // step ("Ошибка установки параметров сокета: <system text>" for the
  // option); the descriptor is closed before it leaves.
  TCPServerSocket(unsigned short localPort, int queueLen);

  // Marks the socket listening with a backlog of `queueLen`.
  // Throws "Ошибка установки ожидания соединений: <system text>".
  void setListen(int queueLen);

  // Waits for one connection and returns it; the caller owns the socket.
  // Throws "Ошибка принятия поключения к сокету: <system text>".
  std::unique_ptr<TCPSocket> accept();

  // Stops listening and wakes a thread blocked in accept(), which then
  // throws (on Linux with "Invalid argument"), as does every later accept.
  // The only call that may come from another thread while accept() runs;
  // the caller records its own reason to stop before calling it, and
  // destroys the object only after the accepting thread has left accept().
  // The descriptor stays owned until destruction. Never throws.
  void shutdown();
};

#endif  // NORVALEN_SOCKET_SOCKET_H_
