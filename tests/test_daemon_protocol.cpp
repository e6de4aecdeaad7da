// What a POS sees: the real daemon over TCP against the real simulator.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/daemon_process.h"
#include "support/sim_process.h"
#include "support/sqlite_query.h"
#include "support/tcp_client.h"
#include "util/json_value.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

Json::Value parsed(const std::string& text) {
  Json::Value v;
  EXPECT_TRUE(JsonParse(text, v)) << text;
  return v;
}

Json::Value obj(const char* text) { return parsed(text); }

class PosSession : public ::testing::Test {
 protected:
  void startBoth(const Json::Value& extra = Json::Value()) {
    ASSERT_TRUE(sim.start()) << sim.error();
    ASSERT_TRUE(daemon.start(sim.url(), extra)) << daemon.error();
    ASSERT_TRUE(pos.connect(daemon.port()));
  }
  // Sends `request` and reads `n` reply lines, each parsed.
  std::vector<Json::Value> ask(const std::string& request, size_t n) {
    EXPECT_TRUE(pos.sendRaw(request));
    std::vector<Json::Value> replies;
    for (size_t i = 0; i < n; ++i) {
      std::optional<std::string> line = pos.readLine(seconds(10));
      if (!line) {
        ADD_FAILURE() << "reply " << i << " to " << request << " missing";
        break;
      }
      replies.push_back(parsed(*line));
    }
    return replies;
  }
  bool nothingMore(milliseconds wait = milliseconds(300)) {
    return !pos.readLine(wait).has_value() && pos.buffered().empty();
  }

  TavrelSim sim;
  NorvalenDaemon daemon;
  TcpClient pos;
};

TEST_F(PosSession, ConnectIsAnsweredOnOneLineAndPostsTheWholeBlock) {
  startBoth();
  EXPECT_TRUE(daemon.process().waitForStdout("Демон инициализирован в режиме ONLINE", seconds(1)));
  ASSERT_TRUE(pos.sendRaw(R"({"TVL": {"Connect": {}}})"));
  std::optional<std::string> line = pos.readLine(seconds(10));
  ASSERT_TRUE(line);
  EXPECT_EQ(parsed(*line), obj(R"({"TVL":{"Connect":{"err":"0","errInfo":"",
      "errMsg":"Успешное выполнение операции"}}})"));
  EXPECT_EQ(*line + "\n", JsonOut(parsed(*line), false)) << "compact JSON, keys in byte order";

  // A block with another member is posted to the centre as it is.
  sim.reset();
  ask(R"({"TVL": {"Connect": {"x": 1}, "Foo": {}}})", 2);
  std::vector<Json::Value> bodies = sim.bodiesOf("Connect");
  ASSERT_EQ(bodies.size(), 1u);
  EXPECT_EQ(bodies[0], obj(R"({"Connect": {"x": 1}, "Foo": {}})"));
}

TEST_F(PosSession, CommandsRunInByteOrderAndRepliesAccumulate) {
  startBoth();
  // "" < "Connect" < "Flush" < "Foo" < "SyncTask" < "Undo" < "connect"
  std::vector<Json::Value> r = ask(
      R"({"TVL": {"connect": {}, "Undo": {}, "SyncTask": {}, "Foo": {}, "Flush": {}, "Connect": {}, "": {}}})",
      7);
  ASSERT_EQ(r.size(), 7u);
  const Json::Value unknown = obj(R"({"err":"-2","errMsg":"Тип запроса неизвестен"})");
  const Json::Value unsupported = obj(R"({"err":"-3","errMsg":"Тип запроса не поддерживается"})");
  const Json::Value noUndo = obj(R"({"err":"-1","errMsg":"Операция отмены в данный момент невозможна"})");
  EXPECT_EQ(r[0]["TVL"], obj(R"({"": {"err":"-2","errMsg":"Тип запроса неизвестен"}})"));
  EXPECT_EQ(r[1]["TVL"].size(), 2u);
  EXPECT_EQ(r[1]["TVL"]["Connect"]["err"], "0");
  EXPECT_EQ(r[2]["TVL"]["Flush"], unsupported);
  EXPECT_EQ(r[3]["TVL"]["Foo"], unknown);
  EXPECT_EQ(r[4]["TVL"]["SyncTask"], unsupported);
  EXPECT_EQ(r[5]["TVL"]["Undo"], noUndo);
  EXPECT_EQ(r[6]["TVL"]["connect"], unknown);
  EXPECT_EQ(r[6]["TVL"].size(), 7u);
  EXPECT_EQ(r[6]["TVL"][""], r[0]["TVL"][""]);
  EXPECT_TRUE(nothingMore());
}

TEST_F(PosSession, EnvelopeErrorsLeaveTheConnectionUsable) {
  startBoth();
  const Json::Value badFormat = obj(R"({"ERROR":{"err":"-1","errMsg":"Формат запроса задан неверно"}})");
  struct Case {
    const char* request;
    Json::Value reply;
  } cases[] = {
      {"hello", badFormat},
      {"[1, 2]", badFormat},
      {R"({"TVL": 5})", badFormat},
      {R"({"TVL": [{"Connect": {}}]})", badFormat},
      {"42", badFormat},
      {R"({"POS": {"Connect": {}}})", obj(R"({"ERROR":{"err":"-2",
          "errMsg":"Нет определения платежной системы в запросе"}})")},
  };
  for (const Case& c : cases) {
    std::vector<Json::Value> r = ask(c.request, 1);
    ASSERT_EQ(r.size(), 1u) << c.request;
    EXPECT_EQ(r[0], c.reply) << c.request;
  }
  // An empty block gets no reply; a commented request parses.
  ASSERT_TRUE(pos.sendRaw(R"({"TVL": {}})"));
  EXPECT_TRUE(nothingMore());
  std::vector<Json::Value> r = ask("/* till 3 */ {\"TVL\": {\"Connect\": {} /* check */}}", 1);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0]["TVL"]["Connect"]["err"], "0");
}

TEST_F(PosSession, EndClosesTheConnection) {
  startBoth();
  // End sorts before PayBonus, so PayBonus never runs.
  ASSERT_TRUE(pos.sendRaw(R"({"TVL": {"PayBonus": {}, "End": {}}})"));
  EXPECT_TRUE(pos.isClosedByPeer(seconds(5)));
  EXPECT_TRUE(pos.buffered().empty());

  TcpClient second;
  ASSERT_TRUE(second.connect(daemon.port()));
  ASSERT_TRUE(second.sendRaw(R"({"TVL": {"Connect": {}, "End": {}}})"));
  std::optional<std::string> line = second.readLine(seconds(10));
  ASSERT_TRUE(line);
  EXPECT_TRUE(parsed(*line)["TVL"].isMember("Connect"));
  EXPECT_TRUE(second.isClosedByPeer(seconds(5)));
}

TEST_F(PosSession, RootCheckOffAnswersTheBareObject) {
  startBoth(obj(R"({"CheckPmtJsonRoot": false})"));
  std::vector<Json::Value> r = ask(R"({"Connect": {}})", 1);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0]["Connect"]["err"], "0");
  EXPECT_FALSE(r[0].isMember("TVL"));
}

TEST_F(PosSession, EmptyRootNameRefusesEveryRequest) {
  startBoth(obj(R"({"PmtJsonRootName": ""})"));
  for (const char* request : {R"({"TVL": {"Connect": {}}})", R"({"": {"Connect": {}}})"}) {
    std::vector<Json::Value> r = ask(request, 1);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0]["ERROR"]["err"], "-2") << request;
  }
}

TEST_F(PosSession, CentreFailuresReachTheReplySlot) {
  startBoth();
  struct Case {
    const char* answer;
    Json::Value slot;
  } cases[] = {
      {R"({"root": "Connect", "body": {"err": "7", "errmsg": "X"}})",
       obj(R"({"err":"0","errMsg":"X","errInfo":"","Offline":"1"})")},
      {R"({"root": "Connect", "body": {"err": "abc"}})",
       obj(R"({"err":"0","errMsg":"Успешное выполнение операции","errInfo":""})")},
      {R"({"root": "Connect", "body": {"errmsg": "hi"}})", obj(R"({"err":"0","errMsg":"hi","errInfo":""})")},
      {R"({"root": "Connect", "body": "<html>busy</html>"})",
       obj(R"({"err":"5","errMsg":"Отсутствует соединение","errInfo":"","Offline":"1"})")},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(sim.setAnswer(std::string(c.answer)));
    std::vector<Json::Value> r = ask(R"({"TVL": {"Connect": {}}})", 1);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0]["TVL"]["Connect"], c.slot) << c.answer;
  }
}

TEST_F(PosSession, ManyConnectionsAreServedOneOperationAtATime) {
  ASSERT_TRUE(sim.start(R"({"root": "Connect", "delay_ms": 30, "body": {"err": "0"}})")) << sim.error();
  ASSERT_TRUE(daemon.start(sim.url())) << daemon.error();
  const int kClients = 8, kRequests = 3;
  std::vector<int> answered(kClients, 0);
  std::vector<std::thread> threads;
  for (int i = 0; i < kClients; ++i) {
    threads.emplace_back([&, i] {
      TcpClient c;
      if (!c.connect(daemon.port())) return;
      for (int k = 0; k < kRequests; ++k) {
        if (!c.sendRaw(R"({"TVL":{"Connect":{}}})" "\n")) return;
        std::optional<std::string> line = c.readLine(seconds(20));
        Json::Value v;
        if (line && JsonParse(*line, v) && v["TVL"]["Connect"]["err"] == "0") ++answered[i];
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < kClients; ++i) EXPECT_EQ(answered[i], kRequests) << "client " << i;
  Json::Value stats = sim.stats();
  EXPECT_EQ(stats["max_in_flight"].asInt(), 1);
  EXPECT_EQ(stats["requests"].asInt(), 1 + kClients * kRequests);  // with the start-up check

  // Every log line is whole: a time stamp, then its text. (Reply lines keep
  // their own line feed, which leaves an empty line after them.)
  std::istringstream log(daemon.process().stdoutText());
  const std::regex stamp(R"(^\(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\): .*)");
  int lines = 0;
  for (std::string line; std::getline(log, line);) {
    if (line.empty()) continue;
    ++lines;
    EXPECT_TRUE(std::regex_match(line, stamp)) << line;
  }
  EXPECT_GT(lines, kClients * kRequests * 3);
}

TEST_F(PosSession, APosThatVanishesBeforeItsReplyDoesNotStopTheDaemon) {
  ASSERT_TRUE(sim.start()) << sim.error();
  ASSERT_TRUE(daemon.start(sim.url())) << daemon.error();
  ASSERT_TRUE(sim.setAnswer(std::string(R"({"root": "Connect", "delay_ms": 300, "times": 2})")));
  {
    TcpClient gone;
    ASSERT_TRUE(gone.connect(daemon.port()));
    ASSERT_TRUE(gone.sendRaw(R"({"TVL":{"Connect":{}}})"));
    gone.resetConnection();
  }
  {
    TcpClient gone;
    ASSERT_TRUE(gone.connect(daemon.port()));
    ASSERT_TRUE(gone.sendRaw(R"({"TVL":{"Connect":{}}})"));
    gone.close();
  }
  std::this_thread::sleep_for(milliseconds(800));
  ASSERT_TRUE(daemon.process().running());
  ASSERT_TRUE(pos.connect(daemon.port()));
  std::vector<Json::Value> r = ask(R"({"TVL":{"Connect":{}}})", 1);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0]["TVL"]["Connect"]["err"], "0");
}

TEST_F(PosSession, CardInfoAnswersWithTheCardInReadableRussian) {
  startBoth();
  const std::string request =
      R"({"TVL":{"CardInfo":{"CardNum":"7001","Check":[{"art":"1","price":"10","cnt":"1"}]}}})";
  ASSERT_TRUE(pos.sendRaw(request));
  std::optional<std::string> line = pos.readLine(seconds(10));
  ASSERT_TRUE(line);
  // The operator text travels as UTF-8, not as \u escapes.
  EXPECT_NE(line->find("\"errMsg\":\"Успешное выполнение операции\""), std::string::npos) << *line;
  Json::Value slot = parsed(*line)["TVL"]["CardInfo"];
  EXPECT_EQ(slot["err"], "0");
  EXPECT_EQ(slot["MemberStatus"], "01");
  EXPECT_EQ(slot["Status"], "A");
  EXPECT_EQ(slot["Bonus"], "500.00");
  ASSERT_EQ(slot["Cards"].size(), 1u);
  EXPECT_EQ(slot["Cards"][0]["CardNum"], "7001");
  EXPECT_TRUE(daemon.process().waitForStdout(" <= " + *line, seconds(5))) << "the log shows it as sent";
  std::vector<Json::Value> bodies = sim.bodiesOf("CardInfo");
  ASSERT_EQ(bodies.size(), 1u);
  EXPECT_EQ(bodies[0]["CardInfo"]["sum"], "10.00");

  std::vector<Json::Value> refused = ask(R"({"TVL":{"CardInfo":{"CardNum":""}}})", 1);
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0]["TVL"]["CardInfo"]["err"], "25");
  EXPECT_EQ(refused[0]["TVL"]["CardInfo"]["errMsg"], "Не указан номер карты");
  EXPECT_FALSE(refused[0]["TVL"]["CardInfo"].isMember("Offline"));
  EXPECT_EQ(sim.bodiesOf("CardInfo").size(), 1u) << "nothing sent for a refused request";
}

TEST_F(PosSession, TheCashRegisterFlowIsJournalledWithLinkedRows) {
  startBoth();
  const char* const steps[][2] = {
      {"CardInfo", R"({"TVL":{"CardInfo":{"CardNum":"7001"}}})"},
      {"PayBonus", R"({"TVL":{"PayBonus":{"CheckNum":"17","Check":[{"art":"1","price":"95","base_price":"100","cnt":"2"}],"Transact":{"DateTime":"20261211100000","Location":"12"}}}})"},
      {"Commit", R"({"TVL":{"Commit":{}}})"},
      {"PayReturn", R"({"TVL":{"PayReturn":{"CardNum":"7001","CheckNum":"18","Transact":{"ID":"78","DateTime":"20261211110000","Location":"12"},"OrigTransact":{"ID":"77"}}}})"},
      {"Undo", R"({"TVL":{"Undo":{}}})"},
  };
  for (const auto& step : steps) {
    std::vector<Json::Value> replies = ask(step[1], 1);
    ASSERT_EQ(replies.size(), 1u) << step[0];
    EXPECT_EQ(replies[0]["TVL"][step[0]]["err"], "0") << step[0];
  }
  std::vector<Row> rows =
      Query(daemon.journalPath(), "select ID, ParentID, OperType, Response from ALL_OPERATIONS order by rowid");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0][0], "20261211100000#17#3");
  EXPECT_EQ(rows[1][1], rows[0][0]);
  EXPECT_EQ(rows[1][2], "7");
  EXPECT_EQ(rows[2][0], "20261211110000#78#4");
  EXPECT_EQ(rows[3][1], rows[2][0]);
  EXPECT_EQ(rows[3][2], "8");
  EXPECT_NE(rows[3][3].find("Успешное выполнение операции"), std::string::npos) << rows[3][3];
  // The Undo settled the return: a second one is refused by the session.
  std::vector<Json::Value> again = ask(R"({"TVL":{"Undo":{}}})", 1);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0]["TVL"]["Undo"]["err"], "-1");
}

}  // namespace
