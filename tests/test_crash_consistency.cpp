// The journal after the daemon is killed (SIGKILL) at random moments of a
// stream of payments and commits, many times over on the same file: it
// stays a sound SQLite file, every operation whose reply the POS received
// has its row with that very reply, and the daemon starts and serves again.
#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>

#include <chrono>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "support/daemon_process.h"
#include "support/json_text.h"
#include "support/sim_process.h"
#include "support/sqlite_query.h"
#include "support/tcp_client.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// PRAGMA integrity_check on a read-write connection: after a kill the file
// may hold a hot rollback journal, which only a writer may roll back (the
// daemon does so at its next start, an engineer's sqlite3 shell likewise).
std::string IntegrityCheck(const std::string& path) {
  sqlite3* db = nullptr;
  std::string result = "cannot open";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "pragma integrity_check", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
      result = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    } else {
      result = sqlite3_errmsg(db);
    }
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return result;
}

const char* const kReadyLine = "Сервер инициализирован и готов к принятию соединений на порту ";

TEST(CrashConsistency, EveryAnsweredOperationKeepsItsRowAcrossKills) {
  TavrelSim sim;
  // A small delay keeps operations in flight when the kill lands.
  ASSERT_TRUE(sim.start(R"({"root": "*", "delay_ms": 5})")) << sim.error();
  NorvalenDaemon setup;
  const std::string config = setup.writeConfig(sim.url());
  const int port = setup.port();
  std::mt19937 random(20261211);
  std::map<std::string, std::string> answered;  // row ID -> reply text
  int cheque = 0;

  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Process daemon;
    ASSERT_TRUE(daemon.start(NORVALEN_BIN, {"-d", "-c", config}));
    ASSERT_TRUE(daemon.waitForStdout(kReadyLine, seconds(15))) << daemon.stdoutText();

    // The killer lands somewhere in the stream of this round.
    const int killAfterMs = std::uniform_int_distribution<int>(20, 400)(random);
    const pid_t pid = daemon.pid();
    std::thread killer([pid, killAfterMs] {
      std::this_thread::sleep_for(milliseconds(killAfterMs));
      ::kill(pid, SIGKILL);
    });
    TcpClient pos;
    if (pos.connect(port, seconds(2))) {
      for (int i = 0; i < 40; ++i) {
        const std::string number = std::to_string(++cheque);
        const std::string dateTime = "20261211100000";
        const std::string request =
            R"({"TVL":{"PayBonus":{"CardNum":"7001","CheckNum":")" + number +
            R"(","Check":[{"art":"1","price":"9","base_price":"10","cnt":"1"}],"Transact":{"DateTime":")" +
            dateTime + R"("}}}})";
        if (!pos.sendRaw(request)) break;
        std::optional<std::string> reply = pos.readLine(seconds(5));
        if (!reply) break;
        const std::string id = dateTime + "#" + number + "#3";
        answered[id] = ParseJson(*reply)["TVL"]["PayBonus"].toStyledString();
        if (!pos.sendRaw(R"({"TVL":{"Commit":{}}})")) break;
        if (!pos.readLine(seconds(5))) break;
      }
    }
    killer.join();
    daemon.wait(seconds(5));

    EXPECT_EQ(IntegrityCheck(setup.journalPath()), "ok");
  }

  // Every reply the POS received is in its row, as sent.
  std::map<std::string, std::string> stored;
  for (const Row& row : Query(setup.journalPath(), "select ID, Response from ALL_OPERATIONS where OperType = 3")) {
    if (row[1] != kNull) stored[row[0]] = ParseJson(row[1]).toStyledString();
  }
  ASSERT_FALSE(answered.empty());
  for (const auto& entry : answered) {
    auto found = stored.find(entry.first);
    ASSERT_NE(found, stored.end()) << entry.first << " was answered but has no completed row";
    EXPECT_EQ(found->second, entry.second) << entry.first;
  }

  // And the daemon serves again on the same journal.
  Process last;
  ASSERT_TRUE(last.start(NORVALEN_BIN, {"-d", "-c", config}));
  ASSERT_TRUE(last.waitForStdout(kReadyLine, seconds(15)));
  TcpClient pos;
  ASSERT_TRUE(pos.connect(port));
  ASSERT_TRUE(pos.sendRaw(R"({"TVL":{"Connect":{}}})"));
  std::optional<std::string> reply = pos.readLine(seconds(10));
  ASSERT_TRUE(reply);
  EXPECT_EQ(ParseJson(*reply)["TVL"]["Connect"]["err"], "0");
  last.kill(SIGTERM);
  last.wait(seconds(5));
}

}  // namespace
