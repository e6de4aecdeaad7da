// The real daemon under valgrind's memcheck for one whole POS session against
// the real simulator: no memory error, and nothing lost when it is stopped.
// The daemon ends with _exit, so what the runner and the other static objects
// hold at the end is still reachable; lost blocks are what nothing points to
// any more.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/daemon_process.h"
#include "support/sim_process.h"
#include "support/tcp_client.h"
#include "support/tempdir.h"
#include "util/json_value.h"

namespace {

using std::chrono::seconds;

// valgrind cannot run a binary built with a sanitizer; LeakSanitizer checks
// the daemon of such a tree instead.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizedTree = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitizedTree = true;
#else
constexpr bool kSanitizedTree = false;
#endif
#else
constexpr bool kSanitizedTree = false;
#endif

// valgrind makes the daemon some tens of times slower: bounds for its
// start-up (with the first connection check), for one reply, and for the
// stop with the leak search.
constexpr seconds kReadyWait(60);
constexpr seconds kReplyWait(20);
constexpr seconds kExitWait(60);
constexpr int kValgrindErrorStatus = 99;

// The path of `program` in PATH, empty when it is not there.
std::string findInPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (dir.empty()) continue;
    const std::string candidate = dir + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// What memcheck's own log says at the end of the process.
struct MemcheckSummary {
  std::optional<long> errors;  // "ERROR SUMMARY": absent when the run did not end
  std::optional<long> definitelyLost, indirectlyLost, possiblyLost;  // bytes
  std::optional<long> inUseBytes, allocs, frees;
};

std::optional<long> number(const std::string& log, const std::string& pattern) {
  std::smatch match;
  if (!std::regex_search(log, match, std::regex(pattern))) return std::nullopt;
  std::string digits;
  for (char c : match[1].str()) {
    if (c != ',') digits += c;
  }
  return std::stol(digits);
}

MemcheckSummary readSummary(const std::string& log) {
  MemcheckSummary s;
  s.errors = number(log, R"(ERROR SUMMARY: ([\d,]+) errors)");
  s.inUseBytes = number(log, R"(in use at exit: ([\d,]+) bytes)");
  s.allocs = number(log, R"(total heap usage: ([\d,]+) allocs)");
  s.frees = number(log, R"(total heap usage: [\d,]+ allocs, ([\d,]+) frees)");
  if (log.find("All heap blocks were freed -- no leaks are possible") != std::string::npos) {
    s.definitelyLost = s.indirectlyLost = s.possiblyLost = 0;
  } else {
    s.definitelyLost = number(log, R"(definitely lost: ([\d,]+) bytes)");
    s.indirectlyLost = number(log, R"(indirectly lost: ([\d,]+) bytes)");
    s.possiblyLost = number(log, R"(possibly lost: ([\d,]+) bytes)");
  }
  return s;
}

std::string shown(const std::optional<long>& value) {
  return value ? std::to_string(*value) : std::string("?");
}

TEST(DaemonLeaks, AWholeSessionUnderMemcheckLosesNothing) {
  if (kSanitizedTree) GTEST_SKIP() << "valgrind cannot run a sanitized daemon";
  const std::string valgrind = findInPath("valgrind");
  ASSERT_FALSE(valgrind.empty())
      << "valgrind is not installed: run scripts/setup, which installs the valgrind package";

  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  NorvalenDaemon daemon;
  const std::string memcheckLog = daemon.dir().file("memcheck.log");
  daemon.runUnder({valgrind, "--tool=memcheck", "--leak-check=full",
                   "--show-leak-kinds=definite,indirect,possible",
                   "--errors-for-leak-kinds=definite,indirect",
                   "--error-exitcode=" + std::to_string(kValgrindErrorStatus), "--num-callers=40",
                   "--log-file=" + memcheckLog},
                  kReadyWait);
  Json::Value slow(Json::objectValue);
  slow["ConnectTimeout"] = 30;
  slow["SendRecvTimeout"] = 30;
  ASSERT_TRUE(daemon.start(sim.url(), slow))
      << daemon.error() << "\n" << ReadFile(memcheckLog).value_or("");

  TcpClient pos;
  ASSERT_TRUE(pos.connect(daemon.port()));
  // Every command of a cash-register session, the refusals and failures on
  // their own paths, and a broken request with a good one after it.
  struct Step {
    const char* command;   // reply slot; "ERROR" for a refused request
    const char* request;
    const char* err;
    const char* centre;    // answer scripted before the request, or null
  } steps[] = {
      {"Connect", R"({"TVL":{"Connect":{}}})", "0", nullptr},
      {"CardInfo", R"({"TVL":{"CardInfo":{"CardNum":"7001","Check":[{"art":"1","price":"10","cnt":"1"}]}}})", "0", nullptr},
      {"PayBonus", R"({"TVL":{"PayBonus":{"CardNum":"7001","CheckNum":"17","Check":[{"art":"1","price":"95","base_price":"100","cnt":"2"}],"Transact":{"ID":"17","DateTime":"20261211100000","Location":"12"}}}})", "0", nullptr},
      {"Commit", R"({"TVL":{"Commit":{}}})", "0", nullptr},
      {"PayReturn", R"({"TVL":{"PayReturn":{"CardNum":"7001","CheckNum":"18","Check":[{"art":"1","price":"95","base_price":"100","cnt":"1"}],"Transact":{"ID":"18","DateTime":"20261211110000","Location":"12"},"OrigTransact":{"ID":"17"}}}})", "0", nullptr},
      {"Undo", R"({"TVL":{"Undo":{}}})", "0", nullptr},
      {"Undo", R"({"TVL":{"Undo":{}}})", "-1", nullptr},
      {"ERROR", R"({"TVL": {"CardInfo": }})", "-1", nullptr},
      {"CardInfo", R"({"TVL":{"CardInfo":{"CardNum":"7001"}}})", "0", nullptr},
      {"CardInfo", R"({"TVL":{"CardInfo":{"CardNum":""}}})", "25", nullptr},
      // An answer that is not JSON is a failed attempt, the only one here.
      {"CardInfo", R"({"TVL":{"CardInfo":{"CardNum":"7001"}}})", "14",
       R"({"root": "CardInfo", "body": "<html>busy</html>"})"},
      {"Connect", R"({"TVL":{"Connect":{}}})", "0", nullptr},
  };
  for (const Step& step : steps) {
    if (step.centre) {
      ASSERT_TRUE(sim.setAnswer(step.centre));
    }
    ASSERT_TRUE(pos.sendRaw(step.request));
    std::optional<std::string> line = pos.readLine(kReplyWait);
    ASSERT_TRUE(line) << "no reply to " << step.request << "\n" << daemon.error();
    Json::Value reply;
    ASSERT_TRUE(JsonParse(*line, reply)) << *line;
    const Json::Value& slot =
        std::string(step.command) == "ERROR" ? reply["ERROR"] : reply["TVL"][step.command];
    EXPECT_EQ(slot["err"].asString(), step.err) << step.request << "\n" << *line;
  }
  ASSERT_TRUE(pos.sendRaw(R"({"TVL":{"End":{}}})"));
  EXPECT_TRUE(pos.isClosedByPeer(kReplyWait));

  ASSERT_TRUE(daemon.process().kill(SIGTERM));
  const std::optional<ExitStatus> status = daemon.process().wait(kExitWait);
  const std::string log = ReadFile(memcheckLog).value_or("");
  EXPECT_EQ(status, ExitStatus::Exited(0))
      << "exit " << kValgrindErrorStatus << " is memcheck's for errors found:\n" << log;

  const MemcheckSummary s = readSummary(log);
  ASSERT_TRUE(s.errors) << "memcheck did not finish its report:\n" << log;
  EXPECT_EQ(*s.errors, 0) << log;
  ASSERT_TRUE(s.definitelyLost && s.indirectlyLost) << "no leak summary:\n" << log;
  EXPECT_EQ(*s.definitelyLost, 0) << log;
  EXPECT_EQ(*s.indirectlyLost, 0) << log;
  std::cout << "memcheck: " << shown(s.allocs) << " allocs, " << shown(s.frees) << " frees, "
            << shown(s.inUseBytes) << " bytes in use at exit; lost: definitely "
            << *s.definitelyLost << ", indirectly " << *s.indirectlyLost << ", possibly "
            << shown(s.possiblyLost) << " bytes\n";
}

}  // namespace
