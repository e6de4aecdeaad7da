// ScriptedCentre: a processing centre on loopback whose answer the test
// sets (HTTP status and body, for every POST to "/"); it keeps the bodies it
// received, in order. For tests of the message families below the runner;
// tests of whole operations use TavrelSim.
#ifndef NORVALEN_TESTS_SUPPORT_SCRIPTED_CENTRE_H_
#define NORVALEN_TESTS_SUPPORT_SCRIPTED_CENTRE_H_

#include <mutex>
#include <string>
#include <vector>

#include "support/http_test_server.h"

class ScriptedCentre {
 public:
  ScriptedCentre();
  bool start() { return server_.start(); }
  std::string url() const { return server_.url(); }
  void answer(const std::string& body, int status = 200);
  std::vector<std::string> bodies();

 private:
  LoopbackHttpServer server_;
  std::mutex mu_;
  int status_ = 200;
  std::string body_;
  std::vector<std::string> bodies_;
};

#endif  // NORVALEN_TESTS_SUPPORT_SCRIPTED_CENTRE_H_
