// storage::TavrelDb: the local operation journal, one SQLite file that holds
// a row per bonus write-off, return, commit and undo (table ALL_OPERATIONS)
// and a copy of each operation marked offline (table OFFLINE).
//
// Result codes follow SQLite's numbering, also for the class's own
// conditions:
//   0  (SQLITE_OK)       open or create succeeded
//   5  (SQLITE_BUSY)     a connection is already open, or initDb was asked to
//                        create a file that already exists
//   12 (SQLITE_NOTFOUND) no path, a file that cannot be read, reopen without
//                        a path; a null record or one of a type that is not
//                        journalled
//   16 (SQLITE_EMPTY)    nothing attempted yet
//   26 (SQLITE_NOTADB)   a journal write without an open connection
//   101 (SQLITE_DONE)    a journal write completed
//   other                passed on from SQLite
//
// The connection waits up to kBusyTimeoutMs for a lock that another process
// holds (a support engineer's sqlite3 shell, a backup copy) before a
// statement gives up with 5, so a short outside lock costs no journal row.
// The wait happens under the process-wide operation lock, so it delays the
// POS reply by at most that long. Journal mode and file format are SQLite's
// defaults.
//
// Not thread-safe: callers serialise all use (the daemon's operation lock).
#ifndef NORVALEN_STORAGE_TAVREL_DB_H_
#define NORVALEN_STORAGE_TAVREL_DB_H_

#include <array>
#include <string>

#include <json/json.h>

#include "storage/sqlite_handles.h"
#include "storage/transact_db.h"

namespace storage {

constexpr int kBusyTimeoutMs = 5000;

// Result-row callback of the schema statements: prints "name = value" lines
// ("NULL" for a null value) to standard output; returns 0.
int callback(void* context, int columnCount, char** values, char** names);

class TavrelDb {
 public:
  TavrelDb();
  explicit TavrelDb(const char* path);
  virtual ~TavrelDb();

  TavrelDb(const TavrelDb&) = delete;
  TavrelDb& operator=(const TavrelDb&) = delete;

  // Null is taken as empty; getDBPath gives null for an empty path.
  void setDBPath(const char* path);
  const char* getDBPath() const;

  // True when `path` names something that can be opened for reading.
  static bool dbExists(const char* path);

  // Creates a new journal with the full schema and keeps it open. Refuses an
  // existing file (5). On failure nothing is left open, and a file that this
  // call created is removed so that the next start creates it afresh; a file
  // that was there before is never removed.
  int initDb();
  // Opens an existing journal read-write, without checking its schema.
  int open();
  // Closes, takes `path`, then opens it if it exists or creates it.
  int reopen(const char* path);
  // Closes the connection if open; always 0. err() keeps its value.
  int close();

  // Code of the last open, create or close step; journal writes leave it.
  int err() const;
  // SQLite's English text for err(); never null.
  const char* errMsg() const;

  // Writes the row of `record` with the compact JSON text of `request` (the
  // request block the POS sent), and its OFFLINE copy when marked offline.
  //
  // Each attempt of an operation calls this again with an equal record and
  // request; they share one row. A row already under the record's ID is
  // taken as this operation's own while it is unfinished (no reply yet) and
  // holds the same request text. A row of any other operation is never
  // touched: the later operation is written under the ID followed by "#2",
  // or the next free "#<n>" after the highest one in use. The key used is
  // left in record->JournalID().
  int InsRequest(TransactDB* record, const Json::Value& request);

  // Completes the row of `record` with the compact JSON text of `reply`, the
  // outcome code and the offline mark; when marked offline, first copies
  // the row into OFFLINE unless it is there. The row is the one named by
  // record->JournalID(). A record that has none (never inserted) falls back
  // to its ID but completes only an unfinished row, so the reply and outcome
  // of an earlier, finished operation are kept. Never creates a row.
  int UpdRespond(TransactDB* record, const Json::Value& reply, int outcome);

 private:
  // Opens `path_` with `flags`, sets the busy time-out, records the code.
  int connect(int flags);
  // Runs the schema statements; on failure closes and removes the new file.
  int createSchema(bool fileExistedBefore);
  // Chooses the row key for an operation keyed `base` (see InsRequest).
  int chooseRowKey(const std::string& base, const std::string& requestText, std::string* key);

  // The journal writes of every operation run the same few statements, so
  // each is prepared once per connection and kept; every use resets it.
  enum Sql {
    kInsertOperationSql,
    kInsertOfflineSql,
    kProbeRowSql,
    kHighestSuffixSql,
    kUpdateResponseSql,
    kUpdateUnfinishedSql,
    kCopyToOfflineSql,
    kCopyUnfinishedSql,
    kSqlCount
  };
  // The kept statement `which`, prepared on first use; null, with SQLite's
  // code in *rc, when it cannot be.
  Statement* statement(Sql which, int* rc);
  // Releases the kept statements, then the connection.
  void disconnect();

  Connection connection_;
  std::array<Statement, kSqlCount> statements_;
  std::string path_;
  int lastResult_;
  SqliteText lastMessage_;
};

}  // namespace storage

#endif  // NORVALEN_STORAGE_TAVREL_DB_H_
