// RunnerUnderTest: the daemon's runner in the test's own process, with its
// journal in a temporary directory and `url` as its centre (usually a
// TavrelSim). `ask` runs one command as the session does: the kind's clear
// operation, then the operation on the whole request block; for Undo the
// session's own refusal when it is not allowed.
//
//   TavrelSim sim; sim.start();
//   RunnerUnderTest r(sim.url());
//   Json::Value reply = r.ask("PayBonus", R"({"PayBonus": {...}})");
#ifndef NORVALEN_TESTS_SUPPORT_RUNNER_FIXTURE_H_
#define NORVALEN_TESTS_SUPPORT_RUNNER_FIXTURE_H_

#include <string>

#include <json/json.h>

#include "runner/runner.h"
#include "support/json_text.h"
#include "support/tempdir.h"

class RunnerUnderTest {
 public:
  // `settings`: configuration members (JSON object text) on top of the URL.
  explicit RunnerUnderTest(const std::string& url, const std::string& settings = "{}");

  // The reply slot of `command` for the request block `block` (JSON text);
  // *result gets the operation's code when given (-1 for a session refusal).
  Json::Value ask(const std::string& command, const std::string& block, int* result = nullptr);

  std::string journalPath() const { return dir.file("tavrel.db3"); }

  TempDir dir;
  tavrelRunner runner;
};

#endif  // NORVALEN_TESTS_SUPPORT_RUNNER_FIXTURE_H_
