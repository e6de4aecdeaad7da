// The journal file: creation with its stored schema, opening, refusals and
// result codes, and what a failed create leaves behind.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "storage/tavrel_db.h"
#include "support/sqlite_query.h"
#include "support/tempdir.h"
#include "storage/transact_db.h"

namespace {

bool NameExists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// Runs `sql` on its own read-write connection and returns SQLite's code.
int Exec(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return rc;
}

// A write-off record good enough to test that the journal accepts writes.
storage::TransactDB WriteOff(const char* id) {
  storage::TransactDB record;
  record.OperType(3);
  record.ID(id);
  return record;
}

// The statements texts as SQLite keeps them; outside tools read these.
const std::vector<Row> kExpectedSchema = {
    {"table", "ALL_OPERATIONS",
     "CREATE TABLE ALL_OPERATIONS (ID PRIMARY KEY ASC ON CONFLICT IGNORE, DateTime, OperType "
     "INTEGER, OrderUUID, ChequeID, ChequeRownum, ParentID, Terminal, LocationID, Shift INTEGER, "
     "ShiftDate, ErrorCode INTEGER, Status INTEGER, Request, Response, Offline INTEGER, BatchID "
     "INTEGER)"},
    {"table", "OFFLINE",
     "CREATE TABLE OFFLINE        (ID PRIMARY KEY ASC ON CONFLICT IGNORE, DateTime, OperType "
     "INTEGER, OrderUUID, ChequeID, ChequeRownum, ParentID, Terminal, LocationID, Shift INTEGER, "
     "ShiftDate, Request, BatchID INTEGER)"},
    {"table", "BatchCount", "CREATE TABLE BatchCount (BatchID INTEGER)"},
    {"table", "SyncTask",
     "CREATE TABLE SyncTask (ID PRIMARY KEY ON CONFLICT IGNORE DEFAULT (strftime('%s','now')) "
     "NOT NULL, Shift INTEGER, Datetime, BatchID  INTEGER UNIQUE ON CONFLICT IGNORE, Priority "
     "INTEGER NOT NULL DEFAULT (20))"},
    {"index", "DateTime_INDEX", "CREATE INDEX DateTime_INDEX ON ALL_OPERATIONS ( DateTime )"},
    {"index", "ID_INDEX", "CREATE INDEX ID_INDEX ON ALL_OPERATIONS ( ID )"},
    {"index", "OrderUUID_INDEX", "CREATE INDEX OrderUUID_INDEX ON ALL_OPERATIONS ( OrderUUID )"},
    {"index", "ParentID_INDEX", "CREATE INDEX ParentID_INDEX ON ALL_OPERATIONS ( ParentID )"},
    {"index", "OperType_INDEX", "CREATE INDEX OperType_INDEX ON ALL_OPERATIONS ( OperType )"},
    {"index", "ChequeID_INDEX", "CREATE INDEX ChequeID_INDEX ON ALL_OPERATIONS ( ChequeID )"},
    {"index", "ChequeRownum_INDEX",
     "CREATE INDEX ChequeRownum_INDEX ON ALL_OPERATIONS ( ChequeRownum )"},
    {"index", "Terminal_INDEX", "CREATE INDEX Terminal_INDEX ON ALL_OPERATIONS ( Terminal )"},
    {"index", "Shift_INDEX", "CREATE INDEX Shift_INDEX ON ALL_OPERATIONS ( Shift )"},
    {"index", "Status_INDEX", "CREATE INDEX Status_INDEX ON ALL_OPERATIONS ( Status )"},
    {"index", "ErrorCode_INDEX", "CREATE INDEX ErrorCode_INDEX ON ALL_OPERATIONS ( ErrorCode )"},
    {"index", "Offline_INDEX", "CREATE INDEX Offline_INDEX ON ALL_OPERATIONS ( Offline )"},
    {"index", "LocationID_INDEX",
     "CREATE INDEX LocationID_INDEX ON ALL_OPERATIONS ( LocationID )"},
    {"index", "OfflineID_INDEX", "CREATE INDEX OfflineID_INDEX ON OFFLINE ( ID )"},
    {"index", "OfflineOrderUUID_INDEX",
     "CREATE INDEX OfflineOrderUUID_INDEX ON OFFLINE ( OrderUUID )"},
    {"index", "OfflineParentID_INDEX", "CREATE INDEX OfflineParentID_INDEX ON OFFLINE ( ParentID )"},
    {"index", "OfflineDateTime_INDEX", "CREATE INDEX OfflineDateTime_INDEX ON OFFLINE ( DateTime )"},
    {"index", "OfflineOperType_INDEX", "CREATE INDEX OfflineOperType_INDEX ON OFFLINE ( OperType )"},
    {"index", "OfflineChequeID_INDEX", "CREATE INDEX OfflineChequeID_INDEX ON OFFLINE ( ChequeID )"},
    {"index", "OfflineChequeRownum_INDEX",
     "CREATE INDEX OfflineChequeRownum_INDEX ON OFFLINE ( ChequeRownum )"},
    {"index", "OfflineBatchID_INDEX", "CREATE INDEX OfflineBatchID_INDEX ON OFFLINE ( BatchID )"},
    {"trigger", "INSERT_NEW_NUM",
     "CREATE TRIGGER INSERT_NEW_NUM BEFORE INSERT ON BatchCount FOR EACH ROW WHEN "
     "EXISTS(SELECT BatchID FROM BatchCount)  BEGIN Select RAISE(IGNORE); END"},
};

TEST(JournalCreate, FreshJournalHoldsExactlyTheStoredSchemaAndStaysOpen) {
  TempDir dir;
  const std::string path = dir.file("tavrel.db3");
  storage::TavrelDb db;
  EXPECT_EQ(db.err(), 16);
  db.setDBPath(path.c_str());
  EXPECT_FALSE(db.dbExists(path.c_str()));
  ASSERT_EQ(db.initDb(), 0);
  EXPECT_EQ(db.err(), 0);
  EXPECT_STREQ(db.errMsg(), "not an error");

  // Creation order is rowid order. SQLite's own indexes for the key and
  // unique constraints have no statement text.
  EXPECT_EQ(Query(path, "SELECT type, name, sql FROM sqlite_master WHERE sql IS NOT NULL "
                        "ORDER BY rowid"),
            kExpectedSchema);
  EXPECT_EQ(Query(path, "SELECT name FROM sqlite_master WHERE sql IS NULL ORDER BY name"),
            (std::vector<Row>{{"sqlite_autoindex_ALL_OPERATIONS_1"},
                              {"sqlite_autoindex_OFFLINE_1"},
                              {"sqlite_autoindex_SyncTask_1"},
                              {"sqlite_autoindex_SyncTask_2"}}));
  EXPECT_EQ(Query(path, "SELECT BatchID FROM BatchCount"), (std::vector<Row>{{"1"}}));
  EXPECT_EQ(Query(path, "SELECT count(*) FROM SyncTask"), (std::vector<Row>{{"0"}}));

  // Left open for the journal writes.
  storage::TransactDB record = WriteOff("#3");
  EXPECT_EQ(db.InsRequest(&record, Json::Value("x")), 101);
}

TEST(JournalCreate, StoredConstraintsDropRepeatsSilently) {
  TempDir dir;
  const std::string path = dir.file("tavrel.db3");
  storage::TavrelDb db(path.c_str());
  ASSERT_EQ(db.initDb(), 0);
  db.close();

  EXPECT_EQ(Exec(path, "INSERT INTO BatchCount VALUES(7)"), SQLITE_OK);
  EXPECT_EQ(Query(path, "SELECT BatchID FROM BatchCount"), (std::vector<Row>{{"1"}}));

  EXPECT_EQ(Exec(path, "INSERT INTO ALL_OPERATIONS (ID, Request) VALUES ('k', 'first')"),
            SQLITE_OK);
  EXPECT_EQ(Exec(path, "INSERT INTO ALL_OPERATIONS (ID, Request) VALUES ('k', 'second')"),
            SQLITE_OK);
  EXPECT_EQ(Query(path, "SELECT ID, Request FROM ALL_OPERATIONS"),
            (std::vector<Row>{{"k", "first"}}));
}

TEST(JournalCreate, MissingDirectoryGives14AndLeavesNoFile) {
  TempDir dir;
  const std::string path = dir.file("no-such-dir/tavrel.db3");
  storage::TavrelDb db(path.c_str());
  EXPECT_EQ(db.initDb(), 14);
  EXPECT_EQ(db.err(), 14);
  EXPECT_STREQ(db.errMsg(), "unable to open database file");
  EXPECT_FALSE(NameExists(path));
  EXPECT_FALSE(NameExists(dir.file("no-such-dir")));
  storage::TransactDB record = WriteOff("#3");
  EXPECT_EQ(db.InsRequest(&record, Json::Value("x")), 26);  // nothing left open
}

TEST(JournalCreate, FailedSchemaRemovesTheHalfMadeFile) {
  TempDir dir;
  const std::string path = dir.file("tavrel.db3");
  // SQLite cannot create its rollback journal where a directory stands, so
  // the first schema statement that writes fails after the file was made.
  ASSERT_EQ(::mkdir((path + "-journal").c_str(), 0700), 0);
  storage::TavrelDb db(path.c_str());

  testing::internal::CaptureStderr();
  const int rc = db.initDb();
  const std::string errors = testing::internal::GetCapturedStderr();

  EXPECT_EQ(rc, 14);
  EXPECT_EQ(db.err(), 14);
  EXPECT_EQ(errors, "Create DataBase Error: unable to open database file\n");
  EXPECT_FALSE(NameExists(path));
  storage::TransactDB record = WriteOff("#3");
  EXPECT_EQ(db.InsRequest(&record, Json::Value("x")), 26);

  // Once the obstacle is gone the next start creates the journal afresh.
  ASSERT_EQ(::rmdir((path + "-journal").c_str()), 0);
  EXPECT_EQ(db.initDb(), 0);
  EXPECT_EQ(Query(path, "SELECT count(*) FROM sqlite_master WHERE sql IS NOT NULL"),
            (std::vector<Row>{{"26"}}));
}

// Names that exist but cannot be opened for reading look like "no journal"
// to the start-up; the failed create must not delete them.
TEST(JournalCreate, FailedCreateKeepsANameThatWasThereBefore) {
  TempDir dir;

  const std::string socketPath = dir.file("socket.db3");
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);

  const std::string lockedPath = dir.file("locked.db3");
  {
    storage::TavrelDb maker(lockedPath.c_str());
    ASSERT_EQ(maker.initDb(), 0);
  }
  const std::string lockedContent = ReadFile(lockedPath);
  ASSERT_EQ(::chmod(lockedPath.c_str(), 0), 0);

  struct Case {
    std::string path;
    bool unreadable;  // false when permissions do not bind this process
  };
  const Case cases[] = {
      {socketPath, true},
      {lockedPath, ::geteuid() != 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    if (!c.unreadable) continue;
    storage::TavrelDb db(c.path.c_str());
    ASSERT_FALSE(db.dbExists(c.path.c_str()));
    EXPECT_NE(db.initDb(), 0);
    EXPECT_TRUE(NameExists(c.path));
  }
  ASSERT_EQ(::chmod(lockedPath.c_str(), 0600), 0);
  EXPECT_EQ(ReadFile(lockedPath), lockedContent);
}

TEST(JournalOpen, ExistingFileIsOpenedUntouched) {
  TempDir dir;
  const std::string path = dir.file("tavrel.db3");
  {
    storage::TavrelDb maker(path.c_str());
    ASSERT_EQ(maker.initDb(), 0);
    storage::TransactDB record = WriteOff("D#1#3");
    ASSERT_EQ(maker.InsRequest(&record, Json::Value("x")), 101);
  }
  const std::string before = ReadFile(path);

  storage::TavrelDb db;
  db.setDBPath(path.c_str());
  ASSERT_TRUE(db.dbExists(path.c_str()));
  EXPECT_EQ(db.open(), 0);
  EXPECT_EQ(db.err(), 0);
  EXPECT_EQ(db.close(), 0);
  EXPECT_EQ(ReadFile(path), before);

  // Never initialised twice.
  EXPECT_EQ(db.initDb(), 5);
  EXPECT_EQ(db.err(), 5);
  EXPECT_EQ(ReadFile(path), before);
}

TEST(JournalOpen, ForeignFilesOpenButRefuseTheWrites) {
  struct Case {
    const char* name;
    void (*make)(const std::string& path);
    int writeCode;
  };
  const Case cases[] = {
      {"not a database", [](const std::string& p) { WriteFile(p, std::string(4096, 'x')); }, 26},
      {"database without journal tables",
       [](const std::string& p) {
         sqlite3* raw = nullptr;
         sqlite3_open(p.c_str(), &raw);
         sqlite3_exec(raw, "CREATE TABLE other (a)", nullptr, nullptr, nullptr);
         sqlite3_close(raw);
       },
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.file("tavrel.db3");
    c.make(path);
    const std::string before = ReadFile(path);

    storage::TavrelDb db(path.c_str());
    EXPECT_EQ(db.open(), 0);
    storage::TransactDB record = WriteOff("#3");
    EXPECT_EQ(db.InsRequest(&record, Json::Value("x")), c.writeCode);
    EXPECT_EQ(db.UpdRespond(&record, Json::Value("y"), 0), c.writeCode);
    EXPECT_EQ(db.err(), 0);  // journal writes leave the last result alone
    db.close();
    EXPECT_EQ(ReadFile(path), before);
  }
}

TEST(JournalOpen, RefusalsWhileOpenKeepTheConnection) {
  TempDir dir;
  const std::string path = dir.file("tavrel.db3");
  storage::TavrelDb db(path.c_str());
  ASSERT_EQ(db.initDb(), 0);

  struct Case {
    const char* what;
    int (*call)(storage::TavrelDb& db);
    int code;
  };
  const Case cases[] = {
      {"open", [](storage::TavrelDb& d) { return d.open(); }, 5},
      {"initDb", [](storage::TavrelDb& d) { return d.initDb(); }, 5},
      {"reopen(null)", [](storage::TavrelDb& d) { return d.reopen(nullptr); }, 12},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(db), c.code);
    EXPECT_EQ(db.err(), c.code);
    storage::TransactDB record = WriteOff(("#" + std::to_string(++n)).c_str());
    EXPECT_EQ(db.InsRequest(&record, Json::Value("x")), 101);
  }
  EXPECT_STREQ(db.getDBPath(), path.c_str());
}

TEST(JournalOpen, MissingPathOrFileGives12) {
  TempDir dir;
  storage::TavrelDb db;
  EXPECT_EQ(db.getDBPath(), nullptr);
  EXPECT_EQ(db.open(), 12);
  EXPECT_EQ(db.initDb(), 12);

  db.setDBPath(dir.file("tavrel.db3").c_str());
  db.setDBPath(nullptr);
  EXPECT_EQ(db.getDBPath(), nullptr);
  EXPECT_FALSE(db.dbExists(nullptr));

  db.setDBPath(dir.file("absent.db3").c_str());
  EXPECT_EQ(db.open(), 12);
  EXPECT_EQ(db.err(), 12);
  EXPECT_FALSE(NameExists(dir.file("absent.db3")));  // open never creates
}

TEST(JournalOpen, ReopenOpensOrCreatesTheNewPath) {
  TempDir dir;
  const std::string first = dir.file("first.db3");
  const std::string second = dir.file("second.db3");
  storage::TavrelDb db(first.c_str());
  ASSERT_EQ(db.initDb(), 0);

  EXPECT_EQ(db.reopen(second.c_str()), 0);  // created
  EXPECT_STREQ(db.getDBPath(), second.c_str());
  EXPECT_EQ(Query(second, "SELECT BatchID FROM BatchCount"), (std::vector<Row>{{"1"}}));

  storage::TransactDB record = WriteOff("D#1#3");
  ASSERT_EQ(db.InsRequest(&record, Json::Value("x")), 101);
  EXPECT_EQ(db.reopen(first.c_str()), 0);  // opened, not re-created
  EXPECT_EQ(Query(first, "SELECT count(*) FROM ALL_OPERATIONS"), (std::vector<Row>{{"0"}}));
  EXPECT_EQ(Query(second, "SELECT ID FROM ALL_OPERATIONS"), (std::vector<Row>{{"D#1#3"}}));
}

TEST(JournalOpen, CloseKeepsTheLastResult) {
  TempDir dir;
  storage::TavrelDb db(dir.file("tavrel.db3").c_str());
  ASSERT_EQ(db.open(), 12);
  EXPECT_EQ(db.close(), 0);
  EXPECT_EQ(db.err(), 12);
  EXPECT_EQ(db.close(), 0);  // closing twice is harmless
}

}  // namespace
