// RawHttpCapture: a bare HTTP/1.1 responder on 127.0.0.1 that keeps every
// request byte for byte (request line, headers in the order sent, body) and
// answers each with the same fixed response, then closes the connection.
// For tests that must see what goes on the wire, which a full HTTP server
// library hides (it sorts headers, for one).
#ifndef NORVALEN_TESTS_SUPPORT_HTTP_CAPTURE_H_
#define NORVALEN_TESTS_SUPPORT_HTTP_CAPTURE_H_

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct CapturedRequest {
  std::string head;  // request line and header lines, "\r\n" kept, without the blank line
  std::string body;  // exactly Content-Length bytes

  std::vector<std::string> headerLines() const;  // the lines after the request line
  std::string requestLine() const;
};

class RawHttpCapture {
 public:
  // `response`: the complete bytes sent back (status line, headers, body).
  explicit RawHttpCapture(std::string response);
  ~RawHttpCapture();

  RawHttpCapture(const RawHttpCapture&) = delete;
  RawHttpCapture& operator=(const RawHttpCapture&) = delete;

  bool start();
  int port() const { return port_; }
  std::string url(const std::string& path = "/") const;

  std::vector<CapturedRequest> requests() const;

 private:
  void serve();
  void handle(int fd);

  std::string response_;
  int listenFd_ = -1;
  int port_ = -1;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  mutable std::mutex mu_;
  std::vector<CapturedRequest> requests_;
};

#endif  // NORVALEN_TESTS_SUPPORT_HTTP_CAPTURE_H_
