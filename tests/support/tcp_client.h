// TcpClient: the test's side of a POS connection on loopback, written on
// plain system calls so that it does not share code with what it tests.
// Lines are split at "\n"; readLine returns them without it.
#ifndef NORVALEN_TESTS_SUPPORT_TCP_CLIENT_H_
#define NORVALEN_TESTS_SUPPORT_TCP_CLIENT_H_

#include <chrono>
#include <optional>
#include <string>

class TcpClient {
 public:
  TcpClient() = default;
  ~TcpClient();

  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  // Connects to 127.0.0.1:`port`. A refused attempt is repeated until
  // `timeout`, so a test can connect while the server is still starting.
  bool connect(int port, std::chrono::milliseconds timeout = std::chrono::seconds(5));
  bool isConnected() const { return fd_ >= 0; }
  int descriptor() const { return fd_; }

  // Sends all of `bytes` (one system call when the kernel takes them at
  // once); false when the connection fails. Never raises SIGPIPE.
  bool sendRaw(const std::string& bytes);

  // The next line, without its "\n". Nothing when no whole line arrived
  // within `timeout` or the connection ended first; bytes of an unfinished
  // line stay in buffered().
  std::optional<std::string> readLine(std::chrono::milliseconds timeout);

  // Waits up to `timeout` for the peer to close (orderly or by reset).
  // Data arriving meanwhile is kept in buffered() for readLine, so check
  // buffered() to assert that nothing came before the close.
  bool isClosedByPeer(std::chrono::milliseconds timeout);

  // Received bytes not yet returned by readLine.
  const std::string& buffered() const { return buffer_; }

  // Closes orderly (the peer reads end of file).
  void close();
  // Closes with a reset (SO_LINGER 0): the peer's next receive fails.
  void resetConnection();

 private:
  // Reads what arrives within `timeout` into buffer_; false when nothing
  // could be read (time-out, or the connection has ended: see peerClosed_).
  bool fill(std::chrono::milliseconds timeout);

  int fd_ = -1;
  bool peerClosed_ = false;
  std::string buffer_;
};

// A TCP port that nothing listens on at the moment of the call (bound on all
// IPv4 addresses, then released); another process may still take it first.
int FindFreeTcpPort();

#endif  // NORVALEN_TESTS_SUPPORT_TCP_CLIENT_H_
