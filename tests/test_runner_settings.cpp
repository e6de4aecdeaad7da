// The runner's settings, envelope rules and card record, on a real journal
// in a temporary directory (no centre configured, so the start-up check
// ends at once with 20).
#include <gtest/gtest.h>

#include <string>

#include "interface/ws_ctx.h"
#include "runner/runner.h"
#include "support/tempdir.h"
#include "util/json_value.h"

namespace {

Json::Value obj(const std::string& text) {
  Json::Value v;
  EXPECT_TRUE(JsonParse(text, v)) << text;
  return v;
}

// Initialises `runner` with its journal in `dir`; the check's result.
int initRunner(tavrelRunner& runner, const TempDir& dir, const std::string& conf) {
  runner.set_dbfile(dir.file("tavrel.db3").c_str());
  runner.initFramework();
  return runner.InitTavrelCRM(obj(conf));
}

class RunnerSettings : public ::testing::Test {
 protected:
  int init(const std::string& conf) { return initRunner(runner, dir, conf); }
  TempDir dir;
  tavrelRunner runner;
};

TEST_F(RunnerSettings, AttemptsAndTimeLimitsReachTheCallContext) {
  struct Case {
    const char* conf;
    int attempts;
    int sendRecv;
  } cases[] = {
      {"{}", 2, 10},
      {R"({"RetryCount": 0})", 2, 10},
      {R"({"RetryCount": -3})", 2, 10},
      {R"({"RetryCount": 1})", 1, 10},
      {R"({"RetryCount": "5x", "SendRecvTimeout": 7})", 5, 7},
      {R"({"SendRecvTimeout": -1, "ConnectTimeout": 4})", 2, 4},
      // A limit that is not positive would let a silent centre hold the
      // operation lock for ever: it takes the default.
      {R"({"SendRecvTimeout": 0})", 2, 10},
      {R"({"SendRecvTimeout": "0"})", 2, 10},
      {R"({"SendRecvTimeout": "x"})", 2, 10},
      {R"({"SendRecvTimeout": -1, "ConnectTimeout": 0})", 2, 10},
      {R"({"SendRecvTimeout": -1, "ConnectTimeout": -7})", 2, 10},
  };
  for (const Case& c : cases) {
    TempDir d;
    tavrelRunner r;
    EXPECT_EQ(initRunner(r, d, c.conf), 20) << c.conf;
    ASSERT_NE(r.sharedContext(), nullptr);
    EXPECT_EQ(wsctx_max_attempts(r.sharedContext()), c.attempts) << c.conf;
    EXPECT_EQ(r.sharedContext()->send_timeout, c.sendRecv) << c.conf;
    EXPECT_EQ(r.sharedContext()->recv_timeout, c.sendRecv) << c.conf;
    EXPECT_GT(r.sharedContext()->connect_timeout, 0u) << c.conf;
  }
}

TEST(StartupBound, CoversTheJournalWaitAndEveryAttemptAtItsLimit) {
  Json::Value conf = obj(R"({"RetryCount": 3, "SendRecvTimeout": 7})");
  // 3 attempts of 7 s each with a 1 s pause, after the journal's 5 s wait.
  EXPECT_GE(startupBoundSeconds(conf), 5 + 3 * 7 + 2);
  EXPECT_LE(startupBoundSeconds(conf), 5 + 3 * 8 + 10);
  EXPECT_GE(startupBoundSeconds(obj(R"({"SendRecvTimeout": 0})")), 5 + 2 * 10);
}

TEST_F(RunnerSettings, ProductIdWidth) {
  struct Case {
    const char* conf;
    int length;
    bool zeros;
  } cases[] = {
      {"{}", 0, false},
      {R"({"ProductIdLength": "abc", "ProductIdZeros": true})", 0, false},
      {R"({"ProductIdLength": -4, "ProductIdZeros": "yes"})", 0, false},
      {R"({"ProductIdLength": 12, "ProductIdZeros": "yes"})", 12, true},
      {R"({"ProductIdLength": "12", "ProductIdZeros": false})", 12, false},
  };
  for (const Case& c : cases) {
    TempDir d;
    tavrelRunner r;
    initRunner(r, d, c.conf);
    EXPECT_EQ(r.getProductIdLenght(), c.length) << c.conf;
    EXPECT_EQ(r.isProductZeroFilled(), c.zeros) << c.conf;
  }
}

TEST_F(RunnerSettings, InitialisesOnceAndEndsCleanly) {
  EXPECT_EQ(init(R"({"Terminal": "T9", "Locaion": ""})"), 20);
  EXPECT_TRUE(runner.isInitialized());
  EXPECT_FALSE(runner.isOnline());
  EXPECT_STREQ(runner.getTerminal(), "T9");
  EXPECT_EQ(runner.getLocation(), nullptr);
  // A second initialisation changes nothing, not even the settings.
  EXPECT_EQ(runner.InitTavrelCRM(obj(R"({"Terminal": "other"})")), 0);
  EXPECT_STREQ(runner.getTerminal(), "T9");
  EXPECT_EQ(runner.endTavrelCRM(), 0);
  EXPECT_FALSE(runner.isInitialized());
  EXPECT_EQ(runner.sharedContext(), nullptr);
  // Without a call context an operation answers 18 at once.
  Json::Value reply = obj(R"({"err": "0"})");
  EXPECT_EQ(runner.runConnInfo(obj(R"({"Connect": {}})"), reply), 18);
  EXPECT_EQ(reply, obj(R"({"err": "0"})"));
}

TEST_F(RunnerSettings, JournalFailureStopsInitialisationWithItsText) {
  runner.set_dbfile(dir.file("missing/tavrel.db3").c_str());
  runner.initFramework();
  try {
    runner.InitTavrelCRM(obj("{}"));
    FAIL() << "no exception";
  } catch (const tavrelException& e) {
    EXPECT_STREQ(e.what(), "ERROR: Ошибка инициализации БД : unable to open database file");
  }
}

TEST_F(RunnerSettings, RootMemberRule) {
  struct Case {
    const char* conf;
    const char* request;
    bool accepted;
  } cases[] = {
      {"{}", R"({"TVL": {}})", true},
      {"{}", R"({"tvl": {}})", false},
      {R"({"PmtJsonRootName": ""})", R"({"": {}})", false},
      {R"({"PmtJsonRootName": "", "CheckPmtJsonRoot": false})", R"({"x": 1})", true},
      {R"({"CheckPmtJsonRoot": "no"})", "[1]", true},
      {R"({"PmtJsonRootName": "POS"})", R"({"POS": 1})", true},
  };
  for (const Case& c : cases) {
    TempDir d;
    tavrelRunner r;
    initRunner(r, d, c.conf);
    EXPECT_EQ(r.isJsonRoot(obj(c.request)), c.accepted) << c.conf << " " << c.request;
  }
}

TEST(CardRecord, TextsAndJournalRecord) {
  tavrelCardInfo card;
  EXPECT_TRUE(card.self_owned());
  card.setCardNum("7000123");
  EXPECT_STREQ(card.getCardNum(), "7000123");
  card.setCardNum(nullptr);
  EXPECT_EQ(card.getCardNum(), nullptr);
  card.setQRCode("");
  EXPECT_EQ(card.getQRCode(), nullptr);

  card.saveQueryBuf(obj(R"({"b": 2, "a": 1})"), "PayBonus");
  EXPECT_EQ(card.getQueryBuf(), "{\"PayBonus\":{\"a\":1,\"b\":2}}\n");

  storage::TransactDB source;
  source.OperType(3);
  source.ID("20240131120000#17#3");
  source.ChequeID("17");
  source.Shift("12");
  source.Offline(true);
  source.JournalID("20240131120000#17#3#2");  // the row's key, widened by the journal
  storage::TransactDB* held = card.TransactDB_new(&source);
  ASSERT_NE(held, nullptr);
  EXPECT_NE(held, &source);
  EXPECT_EQ(held->OperType(), 3);
  EXPECT_STREQ(held->ID(), "20240131120000#17#3");
  EXPECT_STREQ(held->Shift(), "12");
  EXPECT_TRUE(held->Offline());
  EXPECT_STREQ(held->JournalID(), "20240131120000#17#3#2") << "a copy links to the same row";
  // A new record for the next operation reuses the held one, emptied.
  EXPECT_EQ(card.TransactDB_new(nullptr), held);
  EXPECT_EQ(held->ID(), nullptr);
  EXPECT_EQ(held->OperType(), -1);
}

TEST(RunnerCard, SetCardKeepsOrReplacesTheRecord) {
  tavrelRunner runner;
  tavrelCardInfo* mine = new tavrelCardInfo();
  mine->_change_own_state(false);
  runner.setCard(mine);
  EXPECT_EQ(runner.cardInfo(), mine);
  runner.setCard(nullptr);
  runner.setCard(mine);
  EXPECT_EQ(runner.cardInfo(), mine);
  tavrelCardInfo foreign;  // self-owned: the runner must not delete it
  runner.setCard(&foreign);
  EXPECT_EQ(runner.cardInfo(), &foreign);
  runner.clearInfo();
  EXPECT_EQ(runner.cardInfo(), nullptr);
}

}  // namespace
