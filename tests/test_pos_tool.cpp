// norvalen-pos, the real binary, against a scripted POS server on loopback.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "socket/socket.h"
#include "service/session.h"
#include "support/proc.h"
#include "support/tcp_client.h"
#include "support/tempdir.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// What the server does with one received request: waits `delayMs` before
// each chunk, sends the chunks, then closes the connection if `close`.
struct Step {
  std::vector<std::string> chunks;
  int delayMs = 0;
  bool close = false;
};

// Serves connections one after the other; every receive is one request, as
// the daemon reads them, and takes the next step of the script (no step: no
// answer). Notes when a request arrives while a reply is still going out.
// With `readDelayMs` it is slow to read, like a daemon busy elsewhere.
class ScriptedServer {
 public:
  explicit ScriptedServer(std::vector<Step> script, int readDelayMs = 0)
      : readDelayMs_(readDelayMs), script_(script.begin(), script.end()) {
    for (int attempt = 0; attempt < 20 && !listener_; ++attempt) {
      port_ = FindFreeTcpPort();
      try {
        listener_ = std::make_unique<TCPServerSocket>(static_cast<unsigned short>(port_), 3);
      } catch (const SocketException&) {
      }
    }
    if (listener_) thread_ = std::thread([this] { run(); });
  }

  ~ScriptedServer() {
    stop_ = true;
    if (listener_) listener_->shutdown();
    if (thread_.joinable()) thread_.join();
  }

  bool listening() const { return listener_ != nullptr; }
  std::string port() const { return std::to_string(port_); }

  std::vector<std::string> requests() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return requests_;
  }
  int connections() const { return connections_; }
  bool sawEarlyRequest() const { return early_; }

 private:
  void run() {
    while (!stop_) {
      std::unique_ptr<TCPSocket> connection;
      try {
        connection = listener_->accept();
      } catch (const SocketException&) {
        return;  // stopped
      }
      ++connections_;
      serve(connection.get());
    }
  }

  void serve(TCPSocket* connection) {
    char buffer[65536];
    while (!stop_) {
      pollfd wanted{connection->descriptor(), POLLIN, 0};
      if (::poll(&wanted, 1, 50) <= 0) continue;
      if (readDelayMs_ > 0) std::this_thread::sleep_for(milliseconds(readDelayMs_));
      std::size_t got = 0;
      try {
        got = connection->recv(buffer, sizeof(buffer));
      } catch (const SocketException&) {
        return;
      }
      if (got == 0) return;
      Step step;
      {
        std::lock_guard<std::mutex> hold(mutex_);
        requests_.emplace_back(buffer, got);
        if (script_.empty()) continue;
        step = script_.front();
        script_.pop_front();
      }
      for (const std::string& chunk : step.chunks) {
        if (step.delayMs > 0 && requestArrivesWithin(connection, step.delayMs)) early_ = true;
        try {
          connection->sendAll(chunk.data(), chunk.size());
        } catch (const SocketException&) {
          return;
        }
      }
      if (step.close) return;
    }
  }

  // True when request bytes (not just a close) arrive within `ms`.
  static bool requestArrivesWithin(TCPSocket* connection, int ms) {
    pollfd wanted{connection->descriptor(), POLLIN, 0};
    if (::poll(&wanted, 1, ms) <= 0) return false;
    char peek;
    return ::recv(connection->descriptor(), &peek, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
  }

  const int readDelayMs_;
  std::unique_ptr<TCPServerSocket> listener_;
  int port_ = -1;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::atomic<bool> early_{false};
  mutable std::mutex mutex_;
  std::deque<Step> script_;
  std::vector<std::string> requests_;
};

ProcessResult run_tool(const std::vector<std::string>& args,
                       const ProcessOptions& options = ProcessOptions()) {
  return RunProcess(NORVALEN_POS_BIN, args, seconds(20), options);
}

std::vector<std::string> with_port(const ScriptedServer& server, std::vector<std::string> rest) {
  std::vector<std::string> args = {"-H", "127.0.0.1", "-p", server.port()};
  args.insert(args.end(), rest.begin(), rest.end());
  return args;
}

std::vector<std::string> numbered_lines(int count) {
  std::vector<std::string> lines;
  for (int i = 1; i <= count; ++i) lines.push_back("{\"reply\":" + std::to_string(i) + "}\n");
  return lines;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line;
  return all;
}

// A request block of `count` unknown words.
std::string many_words(unsigned count) {
  std::string block;
  for (unsigned i = 0; i < count; ++i) block += (i ? ",\"w" : "\"w") + std::to_string(i) + "\":{}";
  return "{\"TVL\":{" + block + "}}";
}

// For each request the server sends exactly as many lines as the daemon
// would, slowly; the tool must print them all and then finish at once. A
// tool that waits for fewer ends before the last lines; one that waits for
// more runs into its one-second time-out.
TEST(PosTool, WaitsForOneReplyPerCommandBeforeEnd) {
  struct Case {
    const char* name;
    std::vector<std::string> rootOption;
    std::string request;
    int replies;
    bool holdsEnd;
  };
  const Case cases[] = {
      {"not JSON", {}, "hello", 1, false},
      {"not an object", {}, "[1,2]", 1, false},
      {"root missing", {}, R"({"XYZ":{"Connect":{}}})", 1, false},
      {"root not an object", {}, R"({"TVL":"Connect"})", 1, false},
      {"empty block", {}, R"({"TVL":{}})", 0, false},
      {"null block", {}, R"({"TVL":null})", 1, false},
      // Deeper than any JSON reader follows: a request the daemon cannot read.
      {"nested too deep", {}, std::string(5000, '['), 1, false},
      {"nested too deep inside the block", {},
       R"({"TVL":{"Connect":)" + std::string(3000, '[') + std::string(3000, ']') + "}}", 1, false},
      {"two commands", {}, R"({"TVL":{"Connect":{},"CardInfo":{"Card":"1"}}})", 2, false},
      {"unknown words answered too", {}, R"({"TVL":{"":{},"Zed":{},"end":{}}})", 3, false},
      {"comment and trailing text", {}, "{\"TVL\":{/*x*/\"Connect\":{}}} {\"TVL\":{}}", 1, false},
      {"only End", {}, R"({"TVL":{"End":{}}})", 0, true},
      {"members after End not taken", {}, R"({"TVL":{"PayBonus":{},"End":{},"Connect":{}}})", 1,
       true},
      {"other root", {"-r", "POS"}, R"({"POS":{"Commit":{},"Undo":{}}})", 2, false},
      {"default root absent under other root", {"-r", "POS"}, R"({"TVL":{"Commit":{}}})", 1,
       false},
      {"no root", {"-r", ""}, R"({"Undo":{},"End":{},"Connect":{},"CardInfo":{}})", 2, true},
      {"more commands than the daemon takes", {}, many_words(kMaxMembers + 1), 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> lines = numbered_lines(c.replies);
    ScriptedServer server({Step{lines, 150, c.holdsEnd}});
    ASSERT_TRUE(server.listening());
    std::vector<std::string> args = {"-t", "1"};
    args.insert(args.end(), c.rootOption.begin(), c.rootOption.end());
    args.push_back(c.request);

    const ProcessResult result = run_tool(with_port(server, args));
    EXPECT_EQ(result.status, ExitStatus::Exited(0)) << result.err;
    EXPECT_EQ(result.out, joined(lines));
    EXPECT_EQ(server.requests(), std::vector<std::string>{c.request});
  }
}

TEST(PosTool, SendsNextRequestOnlyAfterAllRepliesAndPrintsBytesAsReceived) {
  const std::string first = R"({"TVL":{"CardInfo":{},"Connect":{}}})";
  const std::string second = R"({"TVL":{"Connect":{}}})";
  // Lines cut across and joined within chunks, with pauses between chunks
  // during which an impatient tool would already send its next request.
  ScriptedServer server({
      Step{{"{\"TVL\":{\"Card", "Info\":{\"err\":\"0\",\"x\":\"\xD0\x94\"}}}\n{\"TVL\":", "{}}\n"},
           300, false},
      Step{{"{\"TVL\":{\"Connect\":{\"err\":\"0\"}}}\n"}, 0, false},
  });
  ASSERT_TRUE(server.listening());
  const ProcessResult result = run_tool(with_port(server, {"-t", "5", first, second}));
  EXPECT_EQ(result.status, ExitStatus::Exited(0)) << result.err;
  EXPECT_EQ(result.out,
            "{\"TVL\":{\"CardInfo\":{\"err\":\"0\",\"x\":\"\xD0\x94\"}}}\n"
            "{\"TVL\":{}}\n"
            "{\"TVL\":{\"Connect\":{\"err\":\"0\"}}}\n");
  EXPECT_FALSE(server.sawEarlyRequest());
  EXPECT_EQ(server.requests(), (std::vector<std::string>{first, second}));
  EXPECT_EQ(server.connections(), 1);
}

TEST(PosTool, RequestWithoutReplyIsReadAloneBeforeTheNext) {
  const std::string silent = R"({"TVL":{}})";
  const std::string next = R"({"TVL":{"Connect":{}}})";
  ScriptedServer server({Step{}, Step{{"{}\n"}, 0, false}}, 50);
  ASSERT_TRUE(server.listening());
  const ProcessResult result = run_tool(with_port(server, {"-t", "2", silent, next}));
  EXPECT_EQ(result.status, ExitStatus::Exited(0)) << result.err;
  EXPECT_EQ(server.requests(), (std::vector<std::string>{silent, next}));
}

TEST(PosTool, RequestAfterEndGoesOverNewConnection) {
  const std::string end = R"({"TVL":{"Connect":{},"End":{}}})";
  const std::string next = R"({"TVL":{"Connect":{}}})";
  ScriptedServer server({Step{{"{\"a\":1}\n"}, 0, true}, Step{{"{\"b\":2}\n"}, 0, false}});
  ASSERT_TRUE(server.listening());
  const ProcessResult result = run_tool(with_port(server, {"-t", "2", end, next}));
  EXPECT_EQ(result.status, ExitStatus::Exited(0)) << result.err;
  EXPECT_EQ(result.out, "{\"a\":1}\n{\"b\":2}\n");
  EXPECT_EQ(server.connections(), 2);
}

TEST(PosTool, ConnectionClosedBeforeAllRepliesExits4) {
  ScriptedServer server({Step{{"{\"a\":1}\n", "{\"partial\""}, 0, true}});
  ASSERT_TRUE(server.listening());
  const ProcessResult result =
      run_tool(with_port(server, {"-t", "5", R"({"TVL":{"Connect":{},"CardInfo":{},"Undo":{}}})"}));
  EXPECT_EQ(result.status, ExitStatus::Exited(4));
  EXPECT_EQ(result.out, "{\"a\":1}\n{\"partial\"\n");
  EXPECT_NE(result.err.find("closed the connection"), std::string::npos) << result.err;
}

TEST(PosTool, NoReplyInTimeExits3) {
  ScriptedServer server({});
  ASSERT_TRUE(server.listening());
  const auto started = std::chrono::steady_clock::now();
  const ProcessResult result = run_tool(with_port(server, {"-t", "0.5", R"({"TVL":{"Connect":{}}})"}));
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(result.status, ExitStatus::Exited(3));
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("no reply within 0.5 s"), std::string::npos) << result.err;
  EXPECT_LT(took, seconds(5));
}

TEST(PosTool, NothingListeningExits2WithOneLine) {
  const int port = FindFreeTcpPort();
  ASSERT_GT(port, 0);
  const ProcessResult result =
      run_tool({"-H", "127.0.0.1", "-p", std::to_string(port), R"({"TVL":{"Connect":{}}})"});
  EXPECT_EQ(result.status, ExitStatus::Exited(2));
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("cannot connect to 127.0.0.1:" + std::to_string(port)),
            std::string::npos)
      << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
}

TEST(PosTool, ReadsRequestsFromStandardInputAndFile) {
  const std::string first = R"({"TVL":{"Connect":{}}})";
  const std::string second = R"({"TVL":{"CardInfo":{}}})";
  const std::string text = first + "\n\n   \n" + second + "\r\n\n";
  TempDir dir;
  const std::string file = dir.writeFile("requests.txt", text);
  ASSERT_FALSE(file.empty());

  struct Case {
    const char* name;
    std::vector<std::string> args;
    ProcessOptions options;
  };
  ProcessOptions fromStdin;
  fromStdin.stdinText = text;
  ProcessOptions dashStdin = fromStdin;
  const Case cases[] = {
      {"standard input", {}, fromStdin},
      {"-f -", {"-f", "-"}, dashStdin},
      {"-f file", {"-f", file}, ProcessOptions()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer server({Step{{"{\"one\":1}\n"}, 0, false}, Step{{"{\"two\":2}\n"}, 0, false}});
    ASSERT_TRUE(server.listening());
    const ProcessResult result = run_tool(with_port(server, c.args), c.options);
    EXPECT_EQ(result.status, ExitStatus::Exited(0)) << result.err;
    EXPECT_EQ(result.out, "{\"one\":1}\n{\"two\":2}\n");
    EXPECT_EQ(server.requests(), (std::vector<std::string>{first, second}));
  }
}

TEST(PosTool, TypedRequestGoesOutBeforeInputEnds) {
  ScriptedServer server({Step{{"{\"one\":1}\n"}, 0, false}, Step{{"{\"two\":2}\n"}, 0, false}});
  ASSERT_TRUE(server.listening());
  ProcessOptions options;
  options.stdinPipe = true;
  Process tool;
  ASSERT_TRUE(tool.start(NORVALEN_POS_BIN, with_port(server, {"-t", "5"}), options)) << tool.error();

  ASSERT_TRUE(tool.writeStdin("{\"TVL\":{\"Connect\":{}}}\n"));
  EXPECT_TRUE(tool.waitForStdout("{\"one\":1}\n", seconds(5))) << tool.stderrText();
  EXPECT_TRUE(tool.running());
  ASSERT_TRUE(tool.writeStdin("{\"TVL\":{\"Connect\":{}}}\n"));
  tool.closeStdin();
  EXPECT_EQ(tool.wait(seconds(10)), ExitStatus::Exited(0)) << tool.stderrText();
  EXPECT_EQ(tool.stdoutText(), "{\"one\":1}\n{\"two\":2}\n");
}

TEST(PosTool, StopsBySignalWhileWaiting) {
  ScriptedServer server({});
  ASSERT_TRUE(server.listening());
  Process tool;
  ASSERT_TRUE(tool.start(NORVALEN_POS_BIN, with_port(server, {"-t", "60", R"({"TVL":{"Connect":{}}})"})))
      << tool.error();
  EXPECT_FALSE(tool.wait(milliseconds(300)).has_value());
  ASSERT_TRUE(tool.kill(SIGTERM));
  EXPECT_EQ(tool.wait(seconds(5)), ExitStatus::Signalled(SIGTERM));
  EXPECT_FALSE(tool.kill(SIGTERM));  // reaped: its pid is no longer ours
}

TEST(PosTool, HelpAndUsageErrors) {
  const ProcessResult help = run_tool({"-h"});
  EXPECT_EQ(help.status, ExitStatus::Exited(0));
  EXPECT_EQ(help.out.rfind("Usage: norvalen-pos ", 0), 0u) << help.out;

  const std::vector<std::vector<std::string>> wrong = {
      {"-p", "0", "x"},       {"-p", "65536", "x"}, {"-p", "12ab", "x"}, {"-t", "0", "x"},
      {"-t", "-1", "x"},      {"-t", "abc", "x"},   {"-q"},
      {"-f", "/nonexistent/requests.txt"},          {"-f", "-", "x"},
  };
  for (const std::vector<std::string>& args : wrong) {
    SCOPED_TRACE(args.front() + " " + args[1 % args.size()]);
    const ProcessResult result = run_tool(args);
    EXPECT_EQ(result.status, ExitStatus::Exited(1)) << result.err;
    EXPECT_FALSE(result.err.empty());
  }
}

TEST(ProcessHarness, ReportsProgramThatCannotRun) {
  Process missing;
  EXPECT_FALSE(missing.start("/nonexistent/program", {}));
  EXPECT_NE(missing.error().find("No such file or directory"), std::string::npos)
      << missing.error();
}

}  // namespace
