// Start-up against a centre that answers, refuses or is away; daemon mode
// with its pid file; the stop on SIGTERM and SIGINT.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
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

}  // namespace
