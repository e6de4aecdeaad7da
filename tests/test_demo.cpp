// The README's demo command (scripts/run), run as a new user would from a
// copy of the tree: it brings up the simulator's card store and the daemon,
// serves the whole cash-register flow, refuses taken ports, and stops with
// Ctrl-C.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/json_text.h"
#include "support/proc.h"
#include "support/tcp_client.h"
#include "support/tempdir.h"

namespace {

using std::chrono::seconds;

// The demo's own files in a fresh directory, so that its ./var/ is the
// test's.
class DemoTree {
 public:
  DemoTree() {
    const std::string src = NORVALEN_SOURCE_DIR;
    for (const char* file : {"scripts/run", "examples/tavrel.conf", "examples/cards.json"}) {
      std::optional<std::string> text = ReadFile(src + "/" + file);
      EXPECT_TRUE(text) << file;
      dir.writeFile(file, text.value_or(""));
    }
    EXPECT_EQ(::chmod(dir.file("scripts/run").c_str(), 0755), 0);
  }
  // `env` before the script, as NAME=value words.
  bool start(Process& demo, const std::vector<std::string>& env) {
    std::vector<std::string> args = {"NORVALEN_BIN_DIR=" + binDir()};
    args.insert(args.end(), env.begin(), env.end());
    args.push_back(dir.file("scripts/run"));
    return demo.start("/usr/bin/env", args);
  }
  static std::string binDir() {
    std::string bin = NORVALEN_BIN;
    return bin.substr(0, bin.rfind('/'));
  }
  TempDir dir;
};

std::string pos(int port, const std::string& request) {
  ProcessResult r = RunProcess(NORVALEN_POS_BIN, {"-p", std::to_string(port), request}, seconds(20));
  EXPECT_EQ(r.status, ExitStatus::Exited(0)) << request << "\n" << r.err;
  return r.out;
}

TEST(Demo, ServesTheCashRegisterFlowAndStopsOnCtrlC) {
  DemoTree tree;
  const int simPort = FindFreeTcpPort();
  const int posPort = FindFreeTcpPort();
  Process demo;
  ASSERT_TRUE(tree.start(demo, {"SIM_PORT=" + std::to_string(simPort), "POS_PORT=" + std::to_string(posPort)}));
  ASSERT_TRUE(demo.waitForStdout("The demo is up", seconds(30))) << demo.stdoutText() << demo.stderrText();
  EXPECT_NE(demo.stdoutText().find("norvalen-pos -p " + std::to_string(posPort)), std::string::npos);

  Json::Value card = ParseJson(pos(posPort, R"({"TVL":{"CardInfo":{"CardNum":"7001"}}})"));
  EXPECT_EQ(card["TVL"]["CardInfo"]["err"], "0") << card;
  const double before = std::stod(card["TVL"]["CardInfo"]["Bonus"].asString());
  const char* const flow[][2] = {
      {"PayBonus", R"({"TVL":{"PayBonus":{"CardNum":"7001","CheckNum":"17","Check":[{"art":"1","price":"95","base_price":"100","cnt":"2"}],"Transact":{"ID":"17","DateTime":"20261211100000","Location":"12"}}}})"},
      {"Commit", R"({"TVL":{"Commit":{}}})"},
      {"PayReturn", R"({"TVL":{"PayReturn":{"CardNum":"7001","CheckNum":"18","Check":[{"art":"1","price":"95","base_price":"100","cnt":"1"}],"Transact":{"ID":"18","DateTime":"20261211110000","Location":"12"},"OrigTransact":{"ID":"17"}}}})"},
      {"Undo", R"({"TVL":{"Undo":{}}})"},
  };
  for (const auto& step : flow) {
    Json::Value reply = ParseJson(pos(posPort, step[1]));
    EXPECT_EQ(reply["TVL"][step[0]]["err"], "0") << step[0] << ": " << reply;
  }
  card = ParseJson(pos(posPort, R"({"TVL":{"CardInfo":{"CardNum":"7001"}}})"));
  EXPECT_LT(std::stod(card["TVL"]["CardInfo"]["Bonus"].asString()), before)
      << "the committed write-off is spent: " << card;
  EXPECT_TRUE(ReadFile(tree.dir.file("var/db/tavrel.db3")).has_value());

  ASSERT_TRUE(demo.kill(SIGINT));
  EXPECT_EQ(demo.wait(seconds(15)), ExitStatus::Exited(0)) << demo.stderrText();
  TcpClient probe;
  EXPECT_FALSE(probe.connect(posPort, std::chrono::milliseconds(200))) << "the daemon is gone";
  TcpClient simProbe;
  EXPECT_FALSE(simProbe.connect(simPort, std::chrono::milliseconds(200))) << "the simulator is gone";
}

TEST(Demo, RefusesAPortThatIsTaken) {
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  socklen_t len = sizeof addr;
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  const int taken = ntohs(addr.sin_port);

  for (const char* which : {"SIM_PORT", "POS_PORT"}) {
    SCOPED_TRACE(which);
    DemoTree tree;
    Process demo;
    const int other = FindFreeTcpPort();
    std::vector<std::string> env = {std::string(which) + "=" + std::to_string(taken),
                                    std::string(which[0] == 'S' ? "POS_PORT" : "SIM_PORT") + "=" +
                                        std::to_string(other)};
    ASSERT_TRUE(tree.start(demo, env));
    EXPECT_EQ(demo.wait(seconds(15)), ExitStatus::Exited(1));
    EXPECT_NE(demo.stderrText().find("port " + std::to_string(taken) + " is already in use"),
              std::string::npos)
        << demo.stderrText();
  }
  ::close(listener);
}

}  // namespace
