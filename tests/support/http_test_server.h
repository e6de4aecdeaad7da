// LoopbackHttpServer: an in-process cpp-httplib server (HTTP, or HTTPS with
// a given certificate) on 127.0.0.1 and a free port, running in its own
// thread, for tests of the daemon's HTTP client.
//
//   LoopbackHttpServer server;
//   server.http().Post("/", [](const httplib::Request&, httplib::Response& res) {
//     res.set_content("{}", "application/json");
//   });
//   ASSERT_TRUE(server.start());
//   ... post to server.url() ...
//
// Register handlers before start(). The destructor stops the server.
#ifndef NORVALEN_TESTS_SUPPORT_HTTP_TEST_SERVER_H_
#define NORVALEN_TESTS_SUPPORT_HTTP_TEST_SERVER_H_

#include <memory>
#include <string>
#include <thread>

#include <httplib.h>

class LoopbackHttpServer {
 public:
  LoopbackHttpServer();
  // HTTPS with the PEM certificate and key at these paths.
  LoopbackHttpServer(const std::string& certPath, const std::string& keyPath);
  ~LoopbackHttpServer();

  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  httplib::Server& http() { return *server_; }

  // Binds a free port and serves until stop(); false when it cannot.
  bool start();
  void stop();

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" (or https) followed by `path`.
  std::string url(const std::string& path = "/") const;

 private:
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  bool https_ = false;
  int port_ = -1;
};

// A loopback port on which nothing listens: bound once, then released, so
// a connection to it is refused.
int UnusedLoopbackPort();

// Writes a self-signed certificate for 127.0.0.1 and its key, made with the
// openssl command-line tool, into `dir`; false when the tool fails.
bool MakeSelfSignedCert(const std::string& dir, std::string* certPath, std::string* keyPath);

#endif  // NORVALEN_TESTS_SUPPORT_HTTP_TEST_SERVER_H_
