#include "support/http_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "support/proc.h"

LoopbackHttpServer::LoopbackHttpServer() : server_(std::make_unique<httplib::Server>()) {}

LoopbackHttpServer::LoopbackHttpServer(const std::string& certPath, const std::string& keyPath)
    : server_(std::make_unique<httplib::SSLServer>(certPath.c_str(), keyPath.c_str())),
      https_(true) {}

LoopbackHttpServer::~LoopbackHttpServer() { stop(); }

bool LoopbackHttpServer::start() {
  if (!server_->is_valid()) return false;
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) return false;
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // stop() only works once the server runs; wait for it.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!server_->is_running()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

void LoopbackHttpServer::stop() {
  if (!thread_.joinable()) return;
  while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  server_->stop();
  thread_.join();
}

std::string LoopbackHttpServer::url(const std::string& path) const {
  return std::string(https_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
}

int UnusedLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  int port = -1;
  socklen_t len = sizeof addr;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    port = ntohs(addr.sin_port);
  }
  close(fd);
  return port;
}

bool MakeSelfSignedCert(const std::string& dir, std::string* certPath, std::string* keyPath) {
  *certPath = dir + "/cert.pem";
  *keyPath = dir + "/key.pem";
  ProcessResult made =
      RunProcess("/usr/bin/openssl",
                 {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                  "/CN=127.0.0.1", "-keyout", *keyPath, "-out", *certPath},
                 std::chrono::seconds(30));
  return made.status && made.status->exited && made.status->code == 0;
}
