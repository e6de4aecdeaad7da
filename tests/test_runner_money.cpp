// The money operations through the runner, against the real simulator and a
// real journal file read from the outside: PayBonus and PayReturn with their
// rows, and the Commit and Undo that settle them as children of those rows.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/runner_fixture.h"
#include "support/sim_process.h"
#include "support/sqlite_query.h"
#include "support/tcp_client.h"
#include "util/json_value.h"

namespace {

const char* const kRowColumns =
    "select ID, ParentID, OperType, ChequeID, ChequeRownum, OrderUUID, DateTime, Terminal, "
    "LocationID, Shift, ShiftDate, Offline, ErrorCode, Request, Response from ALL_OPERATIONS "
    "order by rowid";
enum { ID, PARENT, TYPE, CHEQUE, ROWNUM, UUID, DATETIME, TERMINAL, LOCATION, SHIFT, SHIFTDATE,
       OFFLINE, ERRCODE, REQUEST, RESPONSE };

std::vector<Row> rows(const RunnerUnderTest& r) { return Query(r.journalPath(), kRowColumns); }

int offlineRows(const RunnerUnderTest& r) {
  return std::stoi(Query(r.journalPath(), "select count(*) from OFFLINE")[0][0]);
}

class Money : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sim.start()) << sim.error(); }
  TavrelSim sim;
};

TEST_F(Money, APaymentRowCarriesTheChequeKeyTheConfiguredPlaceAndTheReply) {
  RunnerUnderTest r(sim.url(), R"({"Locaion": "12", "Terminal": "T1"})");
  struct Case {
    const char* block;
    std::vector<std::string> row;  // ID ... ShiftDate as stored
  } cases[] = {
      {R"({"PayBonus": {"CardNum": "7001", "CheckNum": "42",
           "Transact": {"DateTime": "20261211100000", "shift": "3", "ShiftDate": "20261211"}}})",
       {"20261211100000#42#3", kNull, "3", "42", "1", kNull, "20261211100000", "T1", "12", "3",
        "20261211000000"}},
      {R"({"PayBonus": {"CardNum": "7001", "CheckNum": "42"}})",
       {"#3", kNull, "3", "42", kNull, kNull, kNull, kNull, kNull, kNull, kNull}},
      {R"({"PayBonus": {"CardNum": "7001", "CheckNum": "42",
           "Transact": {"DateTime": "not a date", "Location": "5", "Terminal": "T9"}}})",
       {"#3#2", kNull, "3", "42", "1", kNull, kNull, "T9", "5", kNull, kNull}},
  };
  for (const Case& c : cases) {
    Json::Value reply = r.ask("PayBonus", c.block);
    EXPECT_EQ(reply["err"], "0") << c.block;
  }
  std::vector<Row> all = rows(r);
  ASSERT_EQ(all.size(), 3u);
  for (size_t i = 0; i < all.size(); ++i) {
    SCOPED_TRACE(cases[i].block);
    EXPECT_EQ(Row(all[i].begin(), all[i].begin() + SHIFTDATE + 1), cases[i].row);
    EXPECT_EQ(all[i][OFFLINE], "0");
    EXPECT_EQ(all[i][ERRCODE], "0");
    EXPECT_EQ(all[i][REQUEST], JsonOut(ParseJson(cases[i].block), false));
  }
  // The reply is stored as the POS got it, Russian text readable.
  EXPECT_EQ(all[0][RESPONSE],
            "{\"err\":\"0\",\"errInfo\":\"\",\"errMsg\":\"Успешное выполнение операции\"}\n");
  // The configured place reached the centre too.
  std::vector<Json::Value> bodies = sim.bodiesOf("PayBonus");
  ASSERT_EQ(bodies.size(), 3u);
  EXPECT_EQ(bodies[0]["PayBonus"]["azs"], "12");
  EXPECT_FALSE(bodies[1]["PayBonus"].isMember("azs"));
  EXPECT_EQ(r.runner.getLastCommand(), CMD_PAY_BONUS);
}

TEST_F(Money, AnOrderUuidIsJournalledAndSentOnce) {
  RunnerUnderTest r(sim.url());
  r.ask("PayBonus", R"({"PayBonus": {"Transact": {"ID": "77", "Location": "12"}}})");
  std::vector<Row> all = rows(r);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_TRUE(std::regex_match(all[0][UUID], std::regex("[0-9a-f]{8}-[0-9a-f]{4}-3[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}")))
      << all[0][UUID];
  EXPECT_EQ(sim.bodiesOf("PayBonus").at(0)["PayBonus"]["zakaz"], all[0][UUID]);
  EXPECT_EQ(all[0][CHEQUE], "77") << "the transaction's id is the cheque number";
}

TEST_F(Money, RetriesOfOneOperationShareItsRow) {
  TavrelSim flaky;
  ASSERT_TRUE(flaky.start(R"({"root": "PayBonus", "body": "not json", "times": 2})")) << flaky.error();
  // An attempt limit of 4 allows three requests.
  RunnerUnderTest r(flaky.url(), R"({"RetryCount": 4})");
  Json::Value reply = r.ask("PayBonus", R"({"PayBonus": {"CheckNum": "1", "Transact": {"DateTime": "20261211100000"}}})");
  EXPECT_EQ(reply["err"], "0");
  EXPECT_EQ(flaky.bodiesOf("PayBonus").size(), 3u);
  std::vector<Row> all = rows(r);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0][ID], "20261211100000#1#3");
  EXPECT_EQ(all[0][ERRCODE], "0");
}

TEST_F(Money, AnOperationIsMarkedOfflineWhenThePosSaysSoOrNoCallWasEverAnswered) {
  {
    RunnerUnderTest r(sim.url());
    r.ask("PayBonus", R"({"PayBonus": {"CheckNum": "1", "Offline": true}})");
    r.ask("PayBonus", R"({"PayBonus": {"CheckNum": "2", "Transact": {"DateTime": "20261211100000"}}})");
    std::vector<Row> all = rows(r);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0][OFFLINE], "1");
    EXPECT_EQ(all[1][OFFLINE], "0");
    EXPECT_EQ(offlineRows(r), 1);
  }
  {
    // A start-up check that was not answered as JSON leaves the network
    // status at "never answered", so the next operation is offline even
    // though its own call succeeds.
    TavrelSim odd;
    ASSERT_TRUE(odd.start(R"({"root": "Connect", "body": "down", "times": 1})")) << odd.error();
    RunnerUnderTest r(odd.url(), R"({"RetryCount": 1})");
    ASSERT_FALSE(r.runner.NetStatus());
    EXPECT_EQ(r.ask("PayBonus", R"({"PayBonus": {"CheckNum": "3"}})")["err"], "0");
    std::vector<Row> all = rows(r);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0][OFFLINE], "1");
    EXPECT_EQ(offlineRows(r), 1);
    std::vector<Row> copy = Query(r.journalPath(), "select ID, Request from OFFLINE");
    EXPECT_EQ(copy[0][0], "#3");
    EXPECT_EQ(copy[0][1], R"({"PayBonus":{"CheckNum":"3"}})" "\n");
  }
}

TEST_F(Money, ARefusedRequestWritesNoRowButCountsAsTheLastCommand) {
  RunnerUnderTest r(sim.url());
  struct Case {
    const char* command;
    const char* block;
    const char* err;
    const char* errMsg;
    CmdCodes last;
  } cases[] = {
      {"PayBonus", R"({"PayBonus": {"CardNum": "123456789012345678901"}})", "27",
       "Неверный формат номера карты", CMD_PAY_BONUS},
      {"PayReturn", R"({"PayBonus": {}})", "3", "Неверный формат команды", CMD_PAY_RETURN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.block);
    Json::Value reply = r.ask(c.command, c.block);
    EXPECT_EQ(reply["err"], c.err);
    EXPECT_EQ(reply["errMsg"], c.errMsg);
    EXPECT_EQ(r.runner.getLastCommand(), c.last);
  }
  EXPECT_TRUE(rows(r).empty());
  EXPECT_TRUE(sim.bodiesOf("PayBonus").empty());
  EXPECT_TRUE(sim.bodiesOf("Return").empty());
}

TEST_F(Money, APaymentTakesTheCardOfTheLastCardInquiry) {
  RunnerUnderTest r(sim.url());
  r.ask("PayBonus", R"({"PayBonus": {"CheckNum": "1"}})");
  r.ask("CardInfo", R"({"CardInfo": {"CardNum": "7001", "qr_code": "QR-5"}})");
  r.ask("PayBonus", R"({"PayBonus": {"CheckNum": "2"}})");
  r.ask("PayBonus", R"({"PayBonus": {"CheckNum": "3", "CardNum": "7002", "qr_code": "Q2", "qr_type": "x"}})");
  std::vector<Json::Value> bodies = sim.bodiesOf("PayBonus");
  ASSERT_EQ(bodies.size(), 3u);
  EXPECT_EQ(bodies[0]["PayBonus"]["cardnum"], "") << "no card known yet";
  EXPECT_FALSE(bodies[0]["PayBonus"].isMember("qr_code"));
  EXPECT_EQ(bodies[1]["PayBonus"]["cardnum"], "7001");
  EXPECT_EQ(bodies[1]["PayBonus"]["qr_code"], "QR-5");
  EXPECT_EQ(bodies[1]["PayBonus"]["qr_type"], "qr");
  EXPECT_EQ(bodies[2]["PayBonus"]["cardnum"], "7002");
  EXPECT_EQ(bodies[2]["PayBonus"]["qr_type"], "x");
}

TEST_F(Money, AReturnKeepsTheTransactionIdAsTheChequeNumber) {
  RunnerUnderTest r(sim.url());
  r.ask("PayReturn", R"({"PayReturn": {"CheckNum": "43", "Transact": {"ID": "78"}}})");
  EXPECT_STREQ(r.runner.cardInfo()->getChequeNum(), "78");
  r.ask("PayReturn", R"({"PayReturn": {"CheckNum": "44", "Transact": {"Location": "1"}}})");
  EXPECT_EQ(r.runner.cardInfo()->getChequeNum(), nullptr) << "a transaction without an id";
  std::vector<Row> all = rows(r);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0][TYPE], "4");
  EXPECT_EQ(all[1][CHEQUE], "44") << "the journal keeps the cheque number";
  EXPECT_EQ(r.runner.getLastCommand(), CMD_PAY_RETURN);
}

// ---- Commit and Undo ----

const char* const kPayment = R"({"PayBonus": {"CardNum": "7001", "CheckNum": "17",
    "Check": [{"art": "1", "price": "95", "base_price": "100", "cnt": "2"}],
    "Transact": {"DateTime": "20261211100000", "Location": "12"}}})";
const char* const kReturn = R"({"PayReturn": {"CardNum": "", "CheckNum": "18",
    "Check": [{"art": "1", "price": "95", "base_price": "100", "cnt": "2"}],
    "Transact": {"ID": "78", "DateTime": "20261211110000", "Location": "12"},
    "OrigTransact": {"ID": "77", "num_check": "2"}}})";

TEST_F(Money, CommitAndUndoAreRefusedWhenThereIsNothingToSettle) {
  RunnerUnderTest r(sim.url());
  const std::string commitRefusal = "Фиксация списания/возврата бонусов в текущем состоянии невозможна";
  int result = 0;
  Json::Value reply = r.ask("Commit", R"({"Commit": {}})", &result);
  EXPECT_EQ(result, 13) << "as the first command";
  EXPECT_EQ(reply["errMsg"], commitRefusal);
  EXPECT_EQ(r.runner.getLastCommand(), CMD_UNKNOWN) << "a refusal changes nothing";

  r.ask("CardInfo", R"({"CardInfo": {"CardNum": "7001"}})");
  EXPECT_EQ(r.ask("Commit", R"({"Commit": {}})")["err"], "13") << "after CardInfo";

  r.ask("PayBonus", kPayment);
  EXPECT_EQ(r.ask("Commit", R"({"Commit": {}})")["err"], "0");
  EXPECT_EQ(r.ask("Commit", R"({"Commit": {}})")["err"], "13") << "a second Commit";
  EXPECT_EQ(r.ask("Undo", R"({"Undo": {}})", &result)["err"], "-1") << "Undo after Commit";
  EXPECT_EQ(result, -1);

  r.ask("PayBonus", kPayment);
  EXPECT_EQ(r.ask("Undo", R"({"Undo": {}})")["err"], "0");
  reply = r.ask("Commit", R"({"Commit": {}})");
  EXPECT_EQ(reply["err"], "13") << "Commit after Undo";
  EXPECT_EQ(sim.bodiesOf("Commit").size(), 1u);
  EXPECT_EQ(sim.bodiesOf("Undo").size(), 1u);

  // A kept request that is missing is refused with 14.
  r.ask("PayBonus", kPayment);
  r.runner.clearPaymentInfo();
  reply = r.ask("Commit", R"({"Commit": {}})");
  EXPECT_EQ(reply["err"], "14");
  EXPECT_EQ(reply["errMsg"], "Отcутствуют данные для фиксации операции списания бонусов");
}

TEST_F(Money, ACommitAndAnUndoAreJournalledAsChildrenOfWhatTheySettle) {
  RunnerUnderTest r(sim.url());
  r.ask("PayBonus", kPayment);
  r.ask("Commit", R"({"Commit": {"CardNum": "9999"}})");
  r.ask("PayReturn", kReturn);
  r.ask("Undo", R"({"Undo": {"CardNum": "9999"}})");
  std::vector<Row> all = rows(r);
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0][ID], "20261211100000#17#3");
  EXPECT_EQ(all[1][PARENT], all[0][ID]);
  EXPECT_TRUE(std::regex_match(all[1][ID], std::regex("[0-9]{14}#17#7"))) << all[1][ID];
  EXPECT_EQ(all[2][ID], "20261211110000#78#4");
  EXPECT_EQ(all[3][PARENT], all[2][ID]);
  EXPECT_TRUE(std::regex_match(all[3][ID], std::regex("[0-9]{14}#78#8"))) << all[3][ID];
  EXPECT_EQ(all[3][TYPE], "8");

  // After a payment the payment's card wins; after a return its (empty)
  // card number does too.
  Json::Value commit = sim.bodiesOf("Commit").at(0)["Commit"];
  EXPECT_EQ(commit["cardnum"], "7001");
  EXPECT_EQ(commit["ret"], "pay");
  EXPECT_FALSE(commit.isMember("trnum_ret"));
  EXPECT_EQ(commit["sum"], "190.00");
  EXPECT_EQ(commit["sum_stella"], "200.00");
  EXPECT_EQ(commit["sum_bonus"], "10.00");
  Json::Value undo = sim.bodiesOf("Undo").at(0)["Undo"];
  EXPECT_EQ(undo["cardnum"], "");
  EXPECT_EQ(undo["ret"], "ret");
  EXPECT_EQ(undo["trnum_ret"], "77");
  EXPECT_EQ(undo["num_check_ret"], "2");
  EXPECT_EQ(undo["sum"], "10.00");
  EXPECT_FALSE(undo.isMember("sum_stella"));
  EXPECT_EQ(r.runner.getLastCommand(), CMD_UNDO);
}

TEST_F(Money, ACommitFollowsARowWhoseKeyTheJournalWidened) {
  RunnerUnderTest r(sim.url());
  r.ask("PayBonus", R"({"PayBonus": {"CheckNum": "1"}})");
  r.ask("PayBonus", R"({"PayBonus": {"CheckNum": "2"}})");
  r.ask("Commit", R"({"Commit": {}})");
  std::vector<Row> all = rows(r);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0][ID], "#3");
  EXPECT_EQ(all[1][ID], "#3#2");
  EXPECT_EQ(all[2][PARENT], "#3#2") << "the commit names the payment it settles";
}

TEST_F(Money, ACommitThatFailsStillReleasesWhatItWouldSettle) {
  RunnerUnderTest r(sim.url());
  r.ask("PayBonus", kPayment);
  ASSERT_TRUE(sim.stop());
  Json::Value reply = r.ask("Commit", R"({"Commit": {}})");
  EXPECT_EQ(reply["Offline"], "1");
  EXPECT_NE(reply["err"], "0");
  EXPECT_EQ(r.ask("Commit", R"({"Commit": {}})")["err"], "13");
  std::vector<Row> all = rows(r);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1][ERRCODE], reply["err"].asString()) << "the failure is journalled";
}

TEST_F(Money, ACommitWhoseMemberDoesNotValidateSendsNothingYetSettles) {
  struct Case {
    const char* block;
    const char* err;
    const char* errMsg;
  } cases[] = {
      {R"({"Commit": 5})", "3", "Неверный формат команды"},
      {R"({"Commit": {"CardNum": "123456789012345678901"}})", "27", "Неверный формат номера карты"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.block);
    RunnerUnderTest r(sim.url());
    r.ask("PayBonus", kPayment);
    Json::Value reply = r.ask("Commit", c.block);
    EXPECT_EQ(reply["err"], c.err);
    EXPECT_EQ(reply["errMsg"], c.errMsg);
    EXPECT_EQ(r.runner.getLastCommand(), CMD_COMMIT);
    EXPECT_EQ(rows(r).size(), 1u) << "only the payment's row";
    EXPECT_EQ(r.ask("Commit", R"({"Commit": {}})")["err"], "13") << "the payment was released";
  }
  EXPECT_TRUE(sim.bodiesOf("Commit").empty());
}

}  // namespace
