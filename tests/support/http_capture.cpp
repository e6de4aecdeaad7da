#include "support/http_capture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <strings.h>

namespace {

std::vector<std::string> split_lines(const std::string& head) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < head.size()) {
    size_t end = head.find("\r\n", start);
    if (end == std::string::npos) end = head.size();
    lines.push_back(head.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// The value of header `name` (case-insensitive), or "" when absent.
std::string header_value(const std::string& head, const char* name) {
  for (const std::string& line : split_lines(head)) {
    size_t colon = line.find(':');
    if (colon == std::string::npos || strncasecmp(line.c_str(), name, colon) != 0 ||
        std::string(name).size() != colon) {
      continue;
    }
    size_t value = line.find_first_not_of(' ', colon + 1);
    return value == std::string::npos ? "" : line.substr(value);
  }
  return "";
}

bool send_all(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::vector<std::string> CapturedRequest::headerLines() const {
  std::vector<std::string> lines = split_lines(head);
  if (!lines.empty()) lines.erase(lines.begin());
  return lines;
}

std::string CapturedRequest::requestLine() const {
  std::vector<std::string> lines = split_lines(head);
  return lines.empty() ? "" : lines.front();
}

RawHttpCapture::RawHttpCapture(std::string response) : response_(std::move(response)) {}

RawHttpCapture::~RawHttpCapture() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listenFd_ >= 0) close(listenFd_);
}

bool RawHttpCapture::start() {
  listenFd_ = socket(AF_INET, SOCK_STREAM, 0);
  if (listenFd_ < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listenFd_, 8) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return false;
  }
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { serve(); });
  return true;
}

std::string RawHttpCapture::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<CapturedRequest> RawHttpCapture::requests() const {
  std::lock_guard<std::mutex> lock(mu_);
  return requests_;
}

void RawHttpCapture::serve() {
  while (!stopping_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    int fd = accept(listenFd_, nullptr, nullptr);
    if (fd < 0) continue;
    handle(fd);
    close(fd);
  }
}

void RawHttpCapture::handle(int fd) {
  std::string data;
  size_t headEnd = std::string::npos;
  bool continued = false;
  size_t wanted = std::string::npos;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    if (headEnd == std::string::npos) {
      headEnd = data.find("\r\n\r\n");
      if (headEnd != std::string::npos) {
        std::string head = data.substr(0, headEnd);
        wanted =
            headEnd + 4 + std::strtoul(header_value(head, "Content-Length").c_str(), nullptr, 10);
        if (!continued && strcasecmp(header_value(head, "Expect").c_str(), "100-continue") == 0) {
          send_all(fd, "HTTP/1.1 100 Continue\r\n\r\n");
          continued = true;
        }
      }
    }
    if (wanted != std::string::npos && data.size() >= wanted) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char buf[4096];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  if (headEnd == std::string::npos) return;
  CapturedRequest req;
  req.head = data.substr(0, headEnd + 2);
  req.body = data.substr(headEnd + 4);
  {
    std::lock_guard<std::mutex> lock(mu_);
    requests_.push_back(req);
  }
  send_all(fd, response_);
}
