// Operation rows: the keys, what InsRequest and UpdRespond store, the
// OFFLINE copies, retries, operations whose keys collide, and a journal that
// another process holds locked for a moment.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "storage/operation_key.h"
#include "storage/tavrel_db.h"
#include "support/sqlite_query.h"
#include "support/tempdir.h"
#include "storage/transact_db.h"
#include "util/json_value.h"

namespace {

std::string Scalar(const std::string& path, const std::string& sql) {
  std::vector<Row> rows = Query(path, sql);
  return rows.size() == 1 && rows[0].size() == 1 ? rows[0][0] : "<not one value>";
}

// A journal created afresh in its own directory.
class Journal : public testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("tavrel.db3");
    db_.setDBPath(path_.c_str());
    ASSERT_EQ(db_.initDb(), 0);
  }
  std::string count(const std::string& table) {
    return Scalar(path_, "SELECT count(*) FROM " + table);
  }

  TempDir dir_;
  std::string path_;
  storage::TavrelDb db_;
};

// The request block of a PayBonus as the session hands it over.
Json::Value PayBonusBlock(const std::string& checkNum, double sum) {
  Json::Value block;
  block["PayBonus"]["Order"]["CheckNum"] = checkNum;
  block["PayBonus"]["Order"]["Sum"] = sum;
  return block;
}

// A write-off record as the runner builds it, keyed by the cheque key.
storage::TransactDB WriteOff(const char* dateTime, const char* chequeId) {
  storage::TransactDB record;
  record.OperType(3);
  record.DateTime(dateTime);
  record.ChequeID(chequeId);
  record.ID(storage::ChequeKey(dateTime, chequeId, 3));
  return record;
}

TEST(OperationKey, KeysFollowTheChequeAndEventRules) {
  const char* kD = "20240131235959";
  struct Case {
    std::string key;
    std::string expected;
  };
  const Case cases[] = {
      {storage::ChequeKey(kD, "17", 3), "20240131235959#17#3"},
      {storage::ChequeKey(kD, nullptr, 3), "20240131235959##3"},
      {storage::ChequeKey(kD, "", 4), "20240131235959##4"},
      // Without a date and time the cheque id is left out.
      {storage::ChequeKey(nullptr, "17", 3), "#3"},
      {storage::ChequeKey("", "17", 4), "#4"},
      {storage::ChequeKey(nullptr, nullptr, 3), "#3"},
      {storage::EventKey("20240201080000", "17", 7), "20240201080000#17#7"},
      {storage::EventKey("20240201080000", nullptr, 8), "20240201080000##8"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.key, c.expected);
}

TEST(OperationKey, ParentKeyFollowsTheRowOfTheConfirmedOperation) {
  storage::TransactDB payment = WriteOff("D", "17");
  // Not yet journalled: the plain cheque key.
  EXPECT_EQ(storage::ParentKey(&payment, "D", "17", 3), "D#17#3");
  payment.JournalID("D#17#3#2");
  EXPECT_EQ(storage::ParentKey(&payment, "D", "17", 3), "D#17#3#2");
  // A held record of some other operation says nothing about this one.
  EXPECT_EQ(storage::ParentKey(&payment, "D", "18", 3), "D#18#3");
  EXPECT_EQ(storage::ParentKey(&payment, "D", "17", 4), "D#17#4");
  EXPECT_EQ(storage::ParentKey(nullptr, "D", "17", 3), "D#17#3");
}

TEST(TransactDBRecord, EmptyTextsReadAsAbsentAndClearResets) {
  storage::TransactDB record;
  EXPECT_EQ(record.OperType(), -1);
  EXPECT_FALSE(record.Offline());
  record.ChequeID("");
  record.OrderUUID(nullptr);
  EXPECT_EQ(record.ChequeID(), nullptr);
  EXPECT_EQ(record.OrderUUID(), nullptr);

  record.ID(std::string("k"));
  record.OperType(7);
  record.Offline(true);
  record.JournalID("k#2");
  record.clear();
  EXPECT_EQ(record.ID(), nullptr);
  EXPECT_EQ(record.JournalID(), nullptr);
  EXPECT_EQ(record.OperType(), -1);
  EXPECT_FALSE(record.Offline());
}

TEST_F(Journal, RowHoldsTheRecordRequestReplyAndOutcome) {
  storage::TransactDB record = WriteOff("20240131120000", "17");
  record.OrderUUID("uuid-1");
  record.ChequeRownum("5");
  record.TerminalID("T1");
  record.LocationID("L1");
  record.Shift("12");
  record.ShiftDate("20240131");
  const Json::Value request = PayBonusBlock("17", 10.5);
  ASSERT_EQ(db_.InsRequest(&record, request), 101);
  EXPECT_STREQ(record.JournalID(), "20240131120000#17#3");

  const char kColumns[] =
      "SELECT ID, DateTime, OperType, OrderUUID, ChequeID, ChequeRownum, ParentID, Terminal, "
      "LocationID, Shift, ShiftDate, ErrorCode, Status, Request, Response, Offline, BatchID "
      "FROM ALL_OPERATIONS";
  const std::string requestText = JsonOut(request, false);
  ASSERT_EQ(requestText.back(), '\n');
  EXPECT_EQ(Query(path_, kColumns, true),
            (std::vector<Row>{{"text:20240131120000#17#3", "text:20240131120000", "integer:3",
                               "text:uuid-1", "text:17", "text:5", kNull, "text:T1", "text:L1",
                               "integer:12", "text:20240131", kNull, kNull, "text:" + requestText,
                               kNull, "integer:0", kNull}}));

  Json::Value reply;
  reply["err"] = "0";
  reply["errMsg"] = "";
  ASSERT_EQ(db_.UpdRespond(&record, reply, 0), 101);
  const std::string replyText = JsonOut(reply, false);
  ASSERT_EQ(replyText.back(), '\n');
  EXPECT_EQ(Query(path_, "SELECT ErrorCode, Status, Response, Offline, BatchID, Request "
                         "FROM ALL_OPERATIONS", true),
            (std::vector<Row>{{"integer:0", kNull, "text:" + replyText, "integer:0", kNull,
                               "text:" + requestText}}));
  EXPECT_EQ(count("OFFLINE"), "0");
}

TEST_F(Journal, ShiftKeepsOnlyAPositiveLeadingNumber) {
  struct Case {
    const char* shift;
    std::string stored;
  };
  const Case cases[] = {
      {"12", "integer:12"},  {"12abc", "integer:12"}, {" +7", "integer:7"},
      {"0", kNull},          {"-2", kNull},           {"abc", kNull},
      {"", kNull},           {nullptr, kNull},        {"99999999999999999999", kNull},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shift ? c.shift : "(null)");
    storage::TransactDB record = WriteOff("D", std::to_string(++n).c_str());
    record.Shift(c.shift);
    ASSERT_EQ(db_.InsRequest(&record, Json::Value("x")), 101);
    EXPECT_EQ(Query(path_, "SELECT Shift FROM ALL_OPERATIONS WHERE ID='" +
                               std::string(record.ID()) + "'", true),
              (std::vector<Row>{{c.stored}}));
  }
}

TEST_F(Journal, AbsentTextsAreStoredAsNull) {
  storage::TransactDB record;
  record.OperType(4);
  record.ID("#4");
  record.ChequeID("");
  record.DateTime(std::string());
  record.TerminalID(nullptr);
  ASSERT_EQ(db_.InsRequest(&record, Json::Value()), 101);
  EXPECT_EQ(Query(path_, "SELECT DateTime, OrderUUID, ChequeID, ChequeRownum, ParentID, "
                         "Terminal, LocationID, Shift, ShiftDate, OperType FROM ALL_OPERATIONS"),
            (std::vector<Row>{{kNull, kNull, kNull, kNull, kNull, kNull, kNull, kNull, kNull,
                               "4"}}));
}

TEST_F(Journal, OfflineOperationLeavesExactlyOneOfflineCopy) {
  struct Case {
    const char* what;
    bool offlineAtInsert;
    bool offlineAtUpdate;
    const char* offlineRows;
  };
  const Case cases[] = {
      {"online", false, false, "0"},
      {"offline throughout", true, true, "1"},
      {"offline only by the end", false, true, "1"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string cheque = std::to_string(++n);
    storage::TransactDB record = WriteOff("D", cheque.c_str());
    record.Shift("3");
    record.Offline(c.offlineAtInsert);
    ASSERT_EQ(db_.InsRequest(&record, PayBonusBlock(cheque, 1)), 101);
    record.Offline(c.offlineAtUpdate);
    ASSERT_EQ(db_.UpdRespond(&record, Json::Value("reply"), 1), 101);

    const std::string where = " WHERE ID='D#" + cheque + "#3'";
    EXPECT_EQ(Scalar(path_, "SELECT count(*) FROM OFFLINE" + where), c.offlineRows);
    EXPECT_EQ(Scalar(path_, "SELECT Offline FROM ALL_OPERATIONS" + where),
              c.offlineAtUpdate ? "1" : "0");
    if (c.offlineAtUpdate) {
      // The copy is the row as inserted: request, no outcome, no reply.
      EXPECT_EQ(Query(path_, "SELECT o.Request = a.Request, o.Shift, o.BatchID FROM OFFLINE o "
                             "JOIN ALL_OPERATIONS a USING (ID)" + std::string(" WHERE o.ID='D#") +
                             cheque + "#3'"),
                (std::vector<Row>{{"1", "3", kNull}}));
    }
  }
}

TEST_F(Journal, RefusedRecordsWriteNothing) {
  storage::TransactDB cardInfo = WriteOff("D", "1");
  cardInfo.OperType(2);
  storage::TransactDB unset = WriteOff("D", "2");
  unset.OperType(-1);
  struct Case {
    const char* what;
    storage::TransactDB* record;
  };
  const Case cases[] = {{"card information", &cardInfo}, {"unset type", &unset},
                        {"no record", nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(db_.InsRequest(c.record, Json::Value("x")), 12);
    EXPECT_EQ(db_.UpdRespond(c.record, Json::Value("y"), 0), 12);
  }
  EXPECT_EQ(count("ALL_OPERATIONS"), "0");
  EXPECT_EQ(db_.err(), 0);
}

TEST_F(Journal, ClosedJournalGives26) {
  storage::TransactDB record = WriteOff("D", "1");
  db_.close();
  EXPECT_EQ(db_.InsRequest(&record, Json::Value("x")), 26);
  EXPECT_EQ(db_.UpdRespond(&record, Json::Value("y"), 0), 26);
  storage::TransactDB cardInfo;
  cardInfo.OperType(2);
  EXPECT_EQ(db_.InsRequest(&cardInfo, Json::Value("x")), 26);  // closed is checked first
  EXPECT_EQ(count("ALL_OPERATIONS"), "0");
}

TEST_F(Journal, UpdateNeverCreatesARow) {
  storage::TransactDB record = WriteOff("D", "1");
  record.Offline(true);
  EXPECT_EQ(db_.UpdRespond(&record, Json::Value("y"), 0), 101);
  storage::TransactDB keyless;
  keyless.OperType(3);
  EXPECT_EQ(db_.UpdRespond(&keyless, Json::Value("y"), 0), 101);
  EXPECT_EQ(count("ALL_OPERATIONS"), "0");
  EXPECT_EQ(count("OFFLINE"), "0");
}

// The runner rebuilds the record in every attempt and inserts it again.
TEST_F(Journal, AttemptsOfOneOperationShareOneRow) {
  const Json::Value request = PayBonusBlock("17", 3);
  for (const char* dateTime : {"D", static_cast<const char*>(nullptr)}) {
    SCOPED_TRACE(dateTime ? dateTime : "no date and time");
    storage::TransactDB record;
    for (int attempt = 0; attempt < 3; ++attempt) {
      record = WriteOff(dateTime, "17");
      record.Offline(attempt > 0);  // the last call went unanswered
      ASSERT_EQ(db_.InsRequest(&record, request), 101);
    }
    ASSERT_EQ(db_.UpdRespond(&record, Json::Value("reply"), 1), 101);
    const std::string key = storage::ChequeKey(dateTime, "17", 3);
    EXPECT_STREQ(record.JournalID(), key.c_str());
    EXPECT_EQ(Query(path_, "SELECT ErrorCode, Offline FROM ALL_OPERATIONS WHERE ID LIKE '" +
                               key + "%'"),
              (std::vector<Row>{{"1", "1"}}));
    EXPECT_EQ(Scalar(path_, "SELECT count(*) FROM OFFLINE WHERE ID LIKE '" + key + "%'"), "1");
  }
}

TEST_F(Journal, CollidingOperationsEachKeepTheirOwnRow) {
  struct Operation {
    Json::Value request;
    Json::Value reply;
    int outcome;
    std::string row;
  };
  // Write-offs without a cheque date and time all have the key "#3"; the
  // second one repeats the first request word for word after it finished.
  std::vector<Operation> operations = {
      {PayBonusBlock("1", 10), Json::Value("reply 1"), 0, "#3"},
      {PayBonusBlock("1", 10), Json::Value("reply 2"), 23, "#3#2"},
      {PayBonusBlock("3", 30), Json::Value("reply 3"), 1, "#3#3"},
  };
  for (const Operation& op : operations) {
    SCOPED_TRACE(op.row);
    storage::TransactDB record;
    for (int attempt = 0; attempt < 2; ++attempt) {
      record = WriteOff(nullptr, "1");
      ASSERT_EQ(db_.InsRequest(&record, op.request), 101);
      EXPECT_STREQ(record.ID(), "#3");
      EXPECT_STREQ(record.JournalID(), op.row.c_str());
    }
    ASSERT_EQ(db_.UpdRespond(&record, op.reply, op.outcome), 101);
  }
  std::vector<Row> expected;
  for (const Operation& op : operations) {
    expected.push_back({op.row, JsonOut(op.request, false), JsonOut(op.reply, false),
                        std::to_string(op.outcome)});
  }
  EXPECT_EQ(Query(path_, "SELECT ID, Request, Response, ErrorCode FROM ALL_OPERATIONS "
                         "ORDER BY rowid"),
            expected);

  // A record that never went through InsRequest cannot overwrite a finished
  // row under its plain ID.
  storage::TransactDB stranger = WriteOff(nullptr, "9");
  EXPECT_EQ(db_.UpdRespond(&stranger, Json::Value("stranger"), 99), 101);
  EXPECT_EQ(Scalar(path_, "SELECT Response FROM ALL_OPERATIONS WHERE ID='#3'"),
            JsonOut(Json::Value("reply 1"), false));
}

TEST_F(Journal, CollidingOfflineOperationsKeepTheirOwnCopies) {
  for (const char* cheque : {"1", "2"}) {
    storage::TransactDB record = WriteOff(nullptr, cheque);
    record.Offline(true);
    ASSERT_EQ(db_.InsRequest(&record, PayBonusBlock(cheque, 1)), 101);
    ASSERT_EQ(db_.UpdRespond(&record, Json::Value("reply"), 1), 101);
  }
  EXPECT_EQ(Query(path_, "SELECT ID, ChequeID FROM OFFLINE ORDER BY rowid"),
            (std::vector<Row>{{"#3", "1"}, {"#3#2", "2"}}));
}

// The commit links to the row of the write-off it confirms, also when that
// row had to take a widened key; keys that do not collide stay as they are.
TEST_F(Journal, CommitParentPointsAtTheConfirmedRow) {
  struct Case {
    const char* dateTime;
    const char* chequeId;
    bool earlierTwin;  // an earlier, finished write-off with the same key
    std::string parent;
  };
  const Case cases[] = {
      {"20240131120000", "17", false, "20240131120000#17#3"},
      {"20240131120000", "18", true, "20240131120000#18#3#2"},
      {nullptr, "19", true, "#3#2"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.parent);
    const std::string eventTime = "2024020108000" + std::to_string(n++);
    if (c.earlierTwin) {
      storage::TransactDB twin = WriteOff(c.dateTime, c.chequeId);
      ASSERT_EQ(db_.InsRequest(&twin, PayBonusBlock("twin", 1)), 101);
      ASSERT_EQ(db_.UpdRespond(&twin, Json::Value("twin reply"), 0), 101);
    }
    storage::TransactDB payment = WriteOff(c.dateTime, c.chequeId);
    ASSERT_EQ(db_.InsRequest(&payment, PayBonusBlock(c.chequeId, 5)), 101);
    ASSERT_EQ(db_.UpdRespond(&payment, Json::Value("paid"), 0), 101);

    // What the runner keeps before the commit's attempts begin.
    const storage::TransactDB confirmed = payment;
    storage::TransactDB commit;
    commit.OperType(7);
    commit.DateTime(c.dateTime);
    commit.ChequeID(c.chequeId);
    commit.ID(storage::EventKey(eventTime.c_str(), c.chequeId, 7));
    commit.ParentID(storage::ParentKey(&confirmed, commit.DateTime(), commit.ChequeID(), 3));
    EXPECT_EQ(std::string(commit.ParentID()), c.parent);
    ASSERT_EQ(db_.InsRequest(&commit, Json::Value("commit")), 101);
    ASSERT_EQ(db_.UpdRespond(&commit, Json::Value("committed"), 0), 101);

    EXPECT_EQ(Query(path_, "SELECT p.ID, p.Response FROM ALL_OPERATIONS c JOIN ALL_OPERATIONS p "
                           "ON c.ParentID = p.ID WHERE c.ID = '" + std::string(commit.ID()) + "'"),
              (std::vector<Row>{{c.parent, JsonOut(Json::Value("paid"), false)}}));
    EXPECT_EQ(std::string(commit.JournalID()),
              eventTime + "#" + c.chequeId + "#7");
  }
}

// Another process (a support engineer's sqlite3 shell, a backup) holds the
// journal locked for a moment while the operation writes its row.
TEST_F(Journal, WritesWaitForAShortOutsideLock) {
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &other), SQLITE_OK);

  struct Case {
    const char* lock;
  };
  const Case cases[] = {{"BEGIN IMMEDIATE"}, {"BEGIN EXCLUSIVE"}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lock);
    const std::string cheque = std::to_string(++n);
    storage::TransactDB record = WriteOff("D", cheque.c_str());
    record.Offline(true);

    for (int phase = 0; phase < 2; ++phase) {
      ASSERT_EQ(sqlite3_exec(other, c.lock, nullptr, nullptr, nullptr), SQLITE_OK);
      ASSERT_EQ(sqlite3_exec(other, "INSERT INTO SyncTask (ID) VALUES ('held')", nullptr, nullptr,
                             nullptr), SQLITE_OK);
      std::thread release([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
      });
      const auto start = std::chrono::steady_clock::now();
      const int rc = phase == 0 ? db_.InsRequest(&record, PayBonusBlock(cheque, 1))
                                : db_.UpdRespond(&record, Json::Value("reply"), 0);
      const auto waited = std::chrono::steady_clock::now() - start;
      release.join();
      EXPECT_EQ(rc, 101) << (phase == 0 ? "InsRequest" : "UpdRespond");
      EXPECT_GE(waited, std::chrono::milliseconds(200));  // it really met the lock
    }
    EXPECT_EQ(Query(path_, "SELECT Response, ErrorCode FROM ALL_OPERATIONS WHERE ID='D#" +
                               cheque + "#3'"),
              (std::vector<Row>{{JsonOut(Json::Value("reply"), false), "0"}}));
    EXPECT_EQ(Scalar(path_, "SELECT count(*) FROM OFFLINE WHERE ID='D#" + cheque + "#3'"), "1");
  }
  sqlite3_close(other);
}

// The journal keeps its statements prepared between operations. None of
// them may keep its read of the file once the write that used it returned,
// or a support engineer's sqlite3 shell could no longer write or back up the
// journal while the daemon runs; and a change of the schema from outside
// (an index added by hand) must not break the next write.
TEST_F(Journal, KeptStatementsHoldNoLockAndFollowOutsideSchemaChanges) {
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &other), SQLITE_OK);
  auto outsideCanWrite = [other] {
    return sqlite3_exec(other, "BEGIN EXCLUSIVE; INSERT INTO SyncTask (ID) VALUES ('x');"
                               " ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK;
  };
  struct Step {
    const char* what;
    const char* cheque;  // null: a date-less cheque, whose keys collide
    bool offline;
    bool forgetKey;  // complete it as a record that never went through InsRequest
  };
  const Step steps[] = {
      {"plain", "1", false, false},
      {"first date-less", nullptr, false, false},
      {"second date-less (widened key)", nullptr, false, false},
      {"third date-less, offline", nullptr, true, false},
      {"completed without its key", "2", false, true},
      {"offline, completed without its key", "3", true, true},
  };
  int n = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    const std::string cheque = std::to_string(++n);
    storage::TransactDB record =
        step.cheque ? WriteOff("D", step.cheque) : WriteOff(nullptr, cheque.c_str());
    record.Offline(step.offline);
    // Twice, as a retry does: the second finds the row as its own.
    for (int attempt = 1; attempt <= 2; ++attempt) {
      ASSERT_EQ(db_.InsRequest(&record, PayBonusBlock(cheque, n)), 101);
      EXPECT_TRUE(outsideCanWrite()) << "after InsRequest " << attempt << ": "
                                     << sqlite3_errmsg(other);
    }
    if (step.forgetKey) record.JournalID("");
    ASSERT_EQ(db_.UpdRespond(&record, Json::Value("reply"), 0), 101);
    EXPECT_TRUE(outsideCanWrite()) << "after UpdRespond: " << sqlite3_errmsg(other);
    if (n == 3) {
      ASSERT_EQ(sqlite3_exec(other, "CREATE INDEX Outside_INDEX ON ALL_OPERATIONS (Response)",
                             nullptr, nullptr, nullptr), SQLITE_OK);
    }
  }
  sqlite3_close(other);
  const std::string reply = JsonOut(Json::Value("reply"), false);
  EXPECT_EQ(Query(path_, "SELECT ID, Response FROM ALL_OPERATIONS ORDER BY rowid"),
            (std::vector<Row>{{"D#1#3", reply},
                              {"#3", reply},
                              {"#3#2", reply},
                              {"#3#3", reply},
                              {"D#2#3", reply},
                              {"D#3#3", reply}}));
  EXPECT_EQ(count("OFFLINE"), "2");
}

}  // namespace
