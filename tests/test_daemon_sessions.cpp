// The daemon's sessions as a whole: what idle POS connections cost, how
// many it keeps open at once, and that a restart gets its port back at once.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "service/session.h"
#include "support/daemon_process.h"
#include "support/proc_status.h"
#include "support/sim_process.h"
#include "support/tcp_client.h"
#include "util/json_value.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

const char* const kConnect = R"({"TVL":{"Connect":{}}})";
const char* const kAdmitted = "Подключение клиента ";
const char* const kRefused = "Отказ в подключении: открыто сессий 128 (предел)";

std::size_t count_of(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

// Waits until the daemon's operation log holds `what` at least `count` times.
bool wait_for_count(NorvalenDaemon& daemon, const std::string& what, std::size_t count,
                    milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (count_of(daemon.process().stdoutText(), what) < count) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(milliseconds(2));
  }
  return true;
}

// True when a Connect on `pos` is answered as a working Connect.
bool served(TcpClient& pos) {
  if (!pos.sendRaw(kConnect)) return false;
  std::optional<std::string> line = pos.readLine(seconds(10));
  Json::Value reply;
  return line && JsonParse(*line, reply) && reply["TVL"]["Connect"]["err"] == "0";
}

// Opens connections until `count` sessions have been admitted, each one
// after the daemon has taken the one before (its listen queue is short, and
// a connection that finds it full is tried again by TCP only a second
// later).
void open_sessions(NorvalenDaemon& daemon, std::size_t count,
                   std::vector<std::unique_ptr<TcpClient>>* sessions) {
  const std::size_t before = count_of(daemon.process().stdoutText(), kAdmitted);
  for (std::size_t i = 0; i < count; ++i) {
    sessions->push_back(std::make_unique<TcpClient>());
    ASSERT_TRUE(sessions->back()->connect(daemon.port())) << i;
    ASSERT_TRUE(wait_for_count(daemon, kAdmitted, before + i + 1, seconds(5))) << i;
  }
}

// Resident memory with every session idle. ThreadSanitizer keeps more than a
// megabyte of its own for every thread, so under it the bound is wider.
#if defined(__SANITIZE_THREAD__)
constexpr long kIdleSessionsResidentKb = 256 * 1024;
#else
constexpr long kIdleSessionsResidentKb = 64 * 1024;
#endif

TEST(DaemonSessions, IdleConnectionsAreCheapAndTheirNumberIsBounded) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  NorvalenDaemon daemon;
  ASSERT_TRUE(daemon.start(sim.url())) << daemon.error();
  const pid_t pid = daemon.process().pid();
  const std::optional<long> threadsAtStart = ThreadCount(pid);
  ASSERT_TRUE(threadsAtStart);

  std::vector<std::unique_ptr<TcpClient>> admitted;
  ASSERT_NO_FATAL_FAILURE(open_sessions(daemon, kMaxSessions, &admitted));

  // Past the limit every connection is closed at once, with one line each.
  const int kBeyond = 172;
  for (int i = 0; i < kBeyond; ++i) {
    TcpClient refused;
    ASSERT_TRUE(refused.connect(daemon.port())) << i;
    ASSERT_TRUE(refused.isClosedByPeer(seconds(5))) << "connection " << i << " past the limit";
    EXPECT_EQ(refused.buffered(), "");
  }
  EXPECT_TRUE(wait_for_count(daemon, kRefused, kBeyond, seconds(5)));
  EXPECT_EQ(count_of(daemon.process().stdoutText(), kRefused), static_cast<std::size_t>(kBeyond));
  EXPECT_EQ(count_of(daemon.process().stdoutText(), kAdmitted), static_cast<std::size_t>(kMaxSessions));
  EXPECT_NE(daemon.process().stderrText().find(kRefused), std::string::npos);

  const std::optional<long> resident = ResidentKb(pid);
  const std::optional<long> threads = ThreadCount(pid);
  ASSERT_TRUE(resident && threads);
  EXPECT_LT(*resident, kIdleSessionsResidentKb)
      << "kB resident with " << kMaxSessions << " idle sessions";
  EXPECT_LE(*threads, *threadsAtStart + kMaxSessions + 2);

  // The admitted ones are served as ever.
  EXPECT_TRUE(served(*admitted.front()));
  EXPECT_TRUE(served(*admitted.back()));

  // Once they are gone, their threads end and their places are free again.
  admitted.clear();
  const auto deadline = Clock::now() + seconds(10);
  while (ThreadCount(pid).value_or(0) > *threadsAtStart && Clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(20));
  }
  EXPECT_LE(ThreadCount(pid).value_or(0), *threadsAtStart);
  std::vector<std::unique_ptr<TcpClient>> next;
  ASSERT_NO_FATAL_FAILURE(open_sessions(daemon, kMaxSessions, &next));
  EXPECT_TRUE(served(*next.back()));
  TcpClient oneMore;
  ASSERT_TRUE(oneMore.connect(daemon.port()));
  EXPECT_TRUE(oneMore.isClosedByPeer(seconds(5)));
}

TEST(DaemonSessions, ARestartBindsItsPortAtOnce) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  NorvalenDaemon first;
  ASSERT_TRUE(first.start(sim.url())) << first.error();
  {
    TcpClient pos;
    ASSERT_TRUE(pos.connect(first.port()));
    ASSERT_TRUE(served(pos));
    // The daemon ends first, so its side of the connection is left in
    // TCP's closing wait on the listening port.
    ASSERT_TRUE(first.stop());
    ASSERT_TRUE(pos.isClosedByPeer(seconds(5)));
  }
  NorvalenDaemon second;
  Json::Value samePort(Json::objectValue);
  samePort["Port"] = first.port();
  ASSERT_TRUE(second.start(sim.url(), samePort)) << second.error();
  TcpClient pos;
  ASSERT_TRUE(pos.connect(second.port()));
  EXPECT_TRUE(served(pos));
}

}  // namespace
