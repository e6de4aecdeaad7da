// Start-up against a centre that answers, refuses or is away; daemon mode
// with its pid file; the stop on SIGTERM and SIGINT.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "support/daemon_process.h"
#include "support/sim_process.h"
#include "support/tcp_client.h"
#include "support/tempdir.h"
#include "util/json_value.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

Json::Value obj(const char* text) {
  Json::Value v;
  EXPECT_TRUE(JsonParse(text, v)) << text;
  return v;
}

bool alive(pid_t pid) { return pid > 0 && ::kill(pid, 0) == 0; }

bool waitUntil(const std::function<bool()>& condition, milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(milliseconds(20));
  }
  return condition();
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(StartUp, CentreThatRefusesStartsOfflineButConnected) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start(R"({"root": "Connect", "body": {"err": "7", "errmsg": "X"}})")) << sim.error();
  NorvalenDaemon daemon;
  ASSERT_TRUE(daemon.start(sim.url())) << daemon.error();
  std::string out = daemon.process().stdoutText();
  EXPECT_TRUE(contains(out, "Статус соединения : ( Connected =  TRUE )")) << out;
  EXPECT_TRUE(contains(out, "Демон инициализирован в режиме OFFLINE")) << out;
}

TEST(StartUp, UnreachableCentreStartsOffline) {
  NorvalenDaemon daemon;
  std::string url = "http://127.0.0.1:" + std::to_string(FindFreeTcpPort()) + "/";
  ASSERT_TRUE(daemon.start(url)) << daemon.error();
  std::string out = daemon.process().stdoutText();
  EXPECT_TRUE(contains(out, "Проверка соединения с сервером : ( " + url + " )")) << out;
  EXPECT_TRUE(contains(out, "Попытка :[1/2]")) << out;
  EXPECT_TRUE(contains(out, "Статус соединения : ( Connected =  FALSE )")) << out;
  EXPECT_TRUE(contains(out, "Демон инициализирован в режиме OFFLINE")) << out;
}

TEST(StartUp, DaemonNeedConnectStopsStartUpWhenTheCheckFails) {
  struct Case {
    bool withUrl;
    const char* text;
  } cases[] = {
      {false, "ERROR: Ошибка инициализации модуля работы Tavrel : []\n"},
      {true, "ERROR: Ошибка инициализации модуля работы Tavrel : [5] : Отсутствует соединение : "
             "Detail :CURL-00007 "},
  };
  for (const Case& c : cases) {
    NorvalenDaemon daemon;
    std::string url =
        c.withUrl ? "http://127.0.0.1:" + std::to_string(FindFreeTcpPort()) + "/" : std::string();
    daemon.writeConfig(url, obj(R"({"DaemonNeedConnect": true})"));
    ASSERT_TRUE(daemon.launch({"-d", "-c", daemon.configPath()}));
    EXPECT_EQ(daemon.process().wait(seconds(15)), ExitStatus::Exited(1));
    EXPECT_TRUE(contains(daemon.process().stderrText(), c.text)) << daemon.error();
    EXPECT_TRUE(contains(daemon.process().stdoutText(), c.text)) << daemon.error();
    EXPECT_TRUE(contains(daemon.process().stdoutText(),
                         "Завершение работы кассовой компоненты системы лояльности  \"Tavrel\""));
  }
}

TEST(Stop, SignalsEndTheForegroundServiceWithStatusZero) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  for (int sig : {SIGTERM, SIGINT}) {
    NorvalenDaemon daemon;
    ASSERT_TRUE(daemon.start(sim.url())) << daemon.error();
    TcpClient idle;  // an open session is not waited for
    ASSERT_TRUE(idle.connect(daemon.port()));
    ASSERT_TRUE(daemon.process().kill(sig));
    EXPECT_EQ(daemon.process().wait(seconds(5)), ExitStatus::Exited(0)) << sig;
    EXPECT_TRUE(contains(daemon.process().stdoutText(),
                         "Остановка сервера по сигналу : " + std::to_string(sig)))
        << daemon.error();
  }
}

class DaemonMode : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.start()) << sim.error();
    daemon.writeConfig(sim.url());
    pidFile = daemon.dir().file("norvalen.pid");
    logFile = daemon.dir().file("norvalen.log");
  }
  void TearDown() override {
    if (alive(daemonPid)) ::kill(daemonPid, SIGKILL);
  }
  // Launches without -d; returns the launcher's status.
  std::optional<ExitStatus> launch(Process& launcher) {
    EXPECT_TRUE(launcher.start(NORVALEN_BIN, {"-c", daemon.configPath()}));
    return launcher.wait(seconds(10));
  }
  pid_t readPid() {
    std::optional<std::string> text = ReadFile(pidFile);
    return text ? static_cast<pid_t>(std::stol(*text)) : -1;
  }
  bool logHas(const std::string& part) {
    return waitUntil([&] { return contains(ReadFile(logFile).value_or(""), part); }, seconds(10));
  }

  TavrelSim sim;
  NorvalenDaemon daemon;
  std::string pidFile, logFile;
  pid_t daemonPid = -1;
};

TEST_F(DaemonMode, DetachesWritesItsPidAndRefusesASecondInstance) {
  Process launcher;
  EXPECT_EQ(launch(launcher), ExitStatus::Exited(0)) << launcher.stderrText();
  std::optional<std::string> pidText = ReadFile(pidFile);
  ASSERT_TRUE(pidText);
  EXPECT_EQ(pidText->find_first_not_of("0123456789"), std::string::npos) << "no line end";
  daemonPid = readPid();
  EXPECT_TRUE(alive(daemonPid));
  EXPECT_TRUE(logHas("Демон инициализирован с PID=" + *pidText));
  EXPECT_TRUE(logHas("Сервер инициализирован и готов к принятию соединений на порту "));

  TcpClient pos;
  ASSERT_TRUE(pos.connect(daemon.port()));
  ASSERT_TRUE(pos.sendRaw(R"({"TVL":{"Connect":{}}})"));
  std::optional<std::string> reply = pos.readLine(seconds(10));
  ASSERT_TRUE(reply);
  EXPECT_EQ(obj(reply->c_str())["TVL"]["Connect"]["err"], "0");

  Process second;
  EXPECT_EQ(launch(second), ExitStatus::Exited(1));
  const std::string refusal = "Уже существует запущенный экземпляр сервера с процессом " + *pidText;
  EXPECT_TRUE(contains(second.stderrText(), refusal)) << second.stderrText();
  EXPECT_TRUE(contains(second.stdoutText(), refusal));
  EXPECT_TRUE(contains(second.stdoutText(), "Завершение процесса"));
  EXPECT_EQ(ReadFile(pidFile).value_or(""), *pidText);
  EXPECT_TRUE(alive(daemonPid));

  ASSERT_EQ(::kill(daemonPid, SIGTERM), 0);
  EXPECT_TRUE(waitUntil([&] { return !alive(daemonPid); }, seconds(10)));
  EXPECT_TRUE(logHas("Остановка сервера по сигналу : 15"));
  EXPECT_FALSE(ReadFile(pidFile).has_value()) << "pid file removed on stop";
}

TEST_F(DaemonMode, AStalePidFileIsReplaced) {
  // A pid that no process has: beyond the kernel's pid limit.
  daemon.dir().writeFile("norvalen.pid", "99999999");
  Process launcher;
  EXPECT_EQ(launch(launcher), ExitStatus::Exited(0)) << launcher.stderrText();
  daemonPid = readPid();
  EXPECT_NE(daemonPid, 99999999);
  EXPECT_TRUE(alive(daemonPid));
  ASSERT_EQ(::kill(daemonPid, SIGINT), 0);
  EXPECT_TRUE(waitUntil([&] { return !alive(daemonPid); }, seconds(10)));
  EXPECT_TRUE(logHas("Остановка сервера по сигналу : 2"));
}

// A centre that takes the request and never answers (for the length of a
// test).
const char* const kSilentConnect = R"({"root": "Connect", "delay_ms": 60000})";

std::string elapsedText(std::chrono::steady_clock::time_point since) {
  return std::to_string(std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - since)
                            .count()) +
         " ms";
}

TEST(SilentCentre, ALimitOfZeroTakesTheDefaultAndAStopDoesNotWaitForTheCall) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  NorvalenDaemon daemon;
  ASSERT_TRUE(daemon.start(sim.url(), obj(R"({"SendRecvTimeout": 0, "RetryCount": 1})")))
      << daemon.error();
  ASSERT_TRUE(sim.setAnswer(kSilentConnect));

  TcpClient pos;
  ASSERT_TRUE(pos.connect(daemon.port()));
  ASSERT_TRUE(pos.sendRaw(R"({"TVL":{"Connect":{}}})"));
  auto sent = std::chrono::steady_clock::now();
  std::optional<std::string> reply = pos.readLine(seconds(14));
  ASSERT_TRUE(reply) << "no reply within the default limit of 10 s";
  EXPECT_GE(std::chrono::steady_clock::now() - sent, seconds(9)) << elapsedText(sent);
  // The check counts an answer that never came as one that is not JSON.
  Json::Value slot = obj(reply->c_str())["TVL"]["Connect"];
  EXPECT_EQ(slot["err"], "5") << *reply;
  EXPECT_EQ(slot["Offline"], "1") << *reply;

  // The next call hangs again; a stop during it ends the process promptly.
  ASSERT_TRUE(pos.sendRaw(R"({"TVL":{"Connect":{}}})"));
  ASSERT_TRUE(daemon.process().waitForStdout("Попытка :[1/1]", seconds(5)));
  std::this_thread::sleep_for(milliseconds(300));
  auto stopped = std::chrono::steady_clock::now();
  ASSERT_TRUE(daemon.process().kill(SIGTERM));
  EXPECT_EQ(daemon.process().wait(seconds(6)), ExitStatus::Exited(0)) << daemon.error();
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, seconds(5)) << elapsedText(stopped);
  EXPECT_TRUE(contains(daemon.process().stdoutText(), "Остановка сервера по сигналу : 15"));
  EXPECT_TRUE(contains(daemon.process().stderrText(), "остановка без ожидания её окончания"))
      << daemon.error();
}

TEST(SilentCentre, AStopDuringTheStartUpCheckEndsTheProcessCleanly) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start(kSilentConnect)) << sim.error();
  // The stop lands at different moments of start-up: while the journal
  // opens, before the check, while the check waits for the centre.
  for (int delayMs : {0, 5, 20, 60, 300}) {
    SCOPED_TRACE("stop after " + std::to_string(delayMs) + " ms");
    NorvalenDaemon daemon;
    daemon.writeConfig(sim.url());
    ASSERT_TRUE(daemon.launch({"-d", "-c", daemon.configPath()}));
    // From this line on the stop signals are the daemon's own.
    ASSERT_TRUE(daemon.process().waitForStdout(
        "Инициализация кассовой компоненты системы лояльности  \"Tavrel\"", seconds(5)));
    std::this_thread::sleep_for(milliseconds(delayMs));
    auto stopped = std::chrono::steady_clock::now();
    ASSERT_TRUE(daemon.process().kill(SIGTERM));
    EXPECT_EQ(daemon.process().wait(seconds(6)), ExitStatus::Exited(0)) << daemon.error();
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, seconds(5)) << elapsedText(stopped);
  }
}

// Background starts, as an installer or an init script runs them.
class BackgroundStart : public ::testing::Test {
 protected:
  std::optional<ExitStatus> launch(Process& launcher, const ProcessOptions& options = {}) {
    EXPECT_TRUE(launcher.start(NORVALEN_BIN, {"-c", daemon.configPath()}, options));
    return launcher.wait(seconds(40));
  }
  void TearDown() override {
    std::optional<std::string> pid = ReadFile(daemon.dir().file("norvalen.pid"));
    if (pid) ::kill(static_cast<pid_t>(std::stol(*pid)), SIGKILL);
  }
  NorvalenDaemon daemon;
};

TEST_F(BackgroundStart, SucceedsOnlyOnceThePortAnswers) {
  TavrelSim sim;
  // A start-up check that takes longer than a fixed two-second wait.
  ASSERT_TRUE(sim.start(R"({"root": "Connect", "delay_ms": 3000, "times": 1})")) << sim.error();
  daemon.writeConfig(sim.url());
  Process launcher;
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(launch(launcher), ExitStatus::Exited(0)) << launcher.stderrText();
  EXPECT_GE(std::chrono::steady_clock::now() - started, milliseconds(2900));
  TcpClient pos;
  EXPECT_TRUE(pos.connect(daemon.port(), milliseconds(1))) << "the port answers at once";
  std::optional<std::string> pid = ReadFile(daemon.dir().file("norvalen.pid"));
  ASSERT_TRUE(pid);
  EXPECT_TRUE(alive(static_cast<pid_t>(std::stol(*pid))));
}

TEST_F(BackgroundStart, AFailedStartExitsOneWithTheDaemonsErrorLine) {
  // Something already listens on the port of the second case.
  int busyPort = -1;
  int listener = -1;
  {
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = 0;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    busyPort = ntohs(addr.sin_port);
  }
  struct Case {
    const char* name;
    Json::Value extra;
    std::string line;
  } cases[] = {
      {"journal directory missing", obj(R"({"DbPath": "/nonexistent/norvalen-db"})"),
       "ERROR: Ошибка инициализации БД : unable to open database file"},
      {"port taken", Json::Value(), "Ошибка привязки к номеру порта: "},
  };
  cases[1].extra["Port"] = busyPort;
  const std::string portNamed = " : порт " + std::to_string(busyPort);
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    NorvalenDaemon d;
    d.writeConfig("", c.extra);
    Process launcher;
    ASSERT_TRUE(launcher.start(NORVALEN_BIN, {"-c", d.configPath()}));
    EXPECT_EQ(launcher.wait(seconds(40)), ExitStatus::Exited(1));
    EXPECT_TRUE(contains(launcher.stderrText(), c.line)) << launcher.stderrText();
    EXPECT_FALSE(ReadFile(d.dir().file("norvalen.pid")).has_value());
    EXPECT_TRUE(contains(ReadFile(d.dir().file("norvalen.err")).value_or(""), c.line));
    if (c.extra.isMember("Port")) {
      EXPECT_TRUE(contains(launcher.stderrText(), portNamed)) << launcher.stderrText();
    }
  }
  ::close(listener);
}

TEST_F(BackgroundStart, RelativePathsAreTakenFromTheStartDirectoryAndFilesAreNotWorldReadable) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  TempDir work;
  ASSERT_EQ(::mkdir(work.file("logs").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(work.file("db").c_str(), 0755), 0);
  daemon.writeConfig(sim.url(), obj(R"({"LogPath": "logs", "DbPath": "db", "RunPath": "."})"));
  Process launcher;
  ProcessOptions options;
  options.workingDir = work.path();
  EXPECT_EQ(launch(launcher, options), ExitStatus::Exited(0)) << launcher.stderrText();
  std::optional<std::string> pid = ReadFile(work.file("norvalen.pid"));
  ASSERT_TRUE(pid) << "pid file in the start directory";
  struct Case {
    std::string path;
    mode_t mode;
  } cases[] = {{work.file("logs/norvalen.log"), 0640},
               {work.file("logs/norvalen.err"), 0640},
               {work.file("db/tavrel.db3"), 0640},
               {work.file("norvalen.pid"), 0640}};
  for (const Case& c : cases) {
    struct stat st;
    ASSERT_EQ(::stat(c.path.c_str(), &st), 0) << c.path;
    EXPECT_EQ(st.st_mode & 0777, c.mode) << c.path;
  }
  EXPECT_TRUE(contains(ReadFile(work.file("logs/norvalen.log")).value_or(""),
                       "Сервер инициализирован и готов к принятию соединений"));
  ::kill(static_cast<pid_t>(std::stol(*pid)), SIGTERM);
  EXPECT_TRUE(waitUntil([&] { return !ReadFile(work.file("norvalen.pid")).has_value(); }, seconds(10)));
}

TEST(Configuration, ASyntaxErrorIsReportedWithTheReadersPosition) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  NorvalenDaemon daemon;
  daemon.writeConfig(sim.url());
  // The keys before the mistake are used; the broken tail is reported.
  std::string text = ReadFile(daemon.configPath()).value_or("");
  const size_t close = text.rfind('}');
  ASSERT_NE(close, std::string::npos);
  text = text.substr(0, close) + ", \"Terminal\": }\n";
  daemon.dir().writeFile("tavrel.conf", text);
  ASSERT_TRUE(daemon.launch({"-d", "-c", daemon.configPath()}));
  ASSERT_TRUE(daemon.process().waitForStdout("Сервер инициализирован и готов", seconds(15)))
      << daemon.error();
  const std::string err = daemon.process().stderrText();
  EXPECT_TRUE(contains(err, "Ошибка в файле конфигурации " + daemon.configPath() + " : ")) << err;
  EXPECT_TRUE(contains(err, "Line ")) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << "one line: " << err;
}

}  // namespace
