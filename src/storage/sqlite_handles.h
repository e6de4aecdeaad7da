// Owners of SQLite handles: a connection, a prepared statement and a text
// that SQLite allocated. Each releases its handle when it goes out of scope,
// so every early return of a journal call gives back what it took.
#ifndef NORVALEN_STORAGE_SQLITE_HANDLES_H_
#define NORVALEN_STORAGE_SQLITE_HANDLES_H_

#include <memory>
#include <string>

#include <sqlite3.h>

namespace storage {

struct ConnectionCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;

struct SqliteTextFree {
  void operator()(char* text) const { sqlite3_free(text); }
};
using SqliteText = std::unique_ptr<char, SqliteTextFree>;

// A prepared statement whose parameters are bound by name. Binding a name
// that the statement does not use is a successful no-op, so one binding
// routine can serve statements with different parameter sets.
class Statement {
 public:
  Statement() = default;
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // SQLite's result code; on failure the statement stays empty.
  int prepare(sqlite3* db, const std::string& sql);
  bool prepared() const { return stmt_ != nullptr; }
  // Releases the statement; it is empty afterwards.
  void finalize();

  int bindNull(const char* name);
  int bindInt(const char* name, long long value);
  // The text is copied by SQLite, so `value` may go away after the call.
  int bindText(const char* name, const std::string& value);

  // SQLITE_ROW, SQLITE_DONE or an error code.
  int step();
  // Makes the statement ready to run again; the bindings are cleared.
  void reset();

  // Column accessors of the current row; a NULL text column reads as null.
  long long columnInt(int column) const;
  const char* columnText(int column) const;
  bool columnIsNull(int column) const;

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// Resets a statement when it goes out of scope, so that a kept statement
// never holds its read of the file past the call that used it.
class StatementReset {
 public:
  explicit StatementReset(Statement* stmt) : stmt_(stmt) {}
  ~StatementReset() {
    if (stmt_ != nullptr) stmt_->reset();
  }
  StatementReset(const StatementReset&) = delete;
  StatementReset& operator=(const StatementReset&) = delete;

 private:
  Statement* stmt_;
};

}  // namespace storage

#endif  // NORVALEN_STORAGE_SQLITE_HANDLES_H_
