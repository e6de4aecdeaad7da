#include "storage/tavrel_db.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "storage/schema.h"
#include "util/text_field.h"

namespace storage {

namespace {

// lstat, so that a dangling symbolic link counts as a name that was there.
bool NameExists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

int callback(void* /*context*/, int columnCount, char** values, char** names) {
  for (int i = 0; i < columnCount; ++i) {
    std::printf("%s = %s\n", names[i], values[i] != nullptr ? values[i] : "NULL");
  }
  return 0;
}

TavrelDb::TavrelDb() : lastResult_(SQLITE_EMPTY) {}

TavrelDb::TavrelDb(const char* path) : TavrelDb() { setDBPath(path); }

TavrelDb::~TavrelDb() {
  close();
  path_.clear();
}

void TavrelDb::setDBPath(const char* path) {
  if (path == nullptr) {
    path_.clear();
  } else {
    path_.assign(path);
  }
}

const char* TavrelDb::getDBPath() const { return TextOrNull(path_); }

bool TavrelDb::dbExists(const char* path) {
  if (path == nullptr) return false;
  // Non-blocking, so that a FIFO under the journal's name cannot hang start-up.
  int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

int TavrelDb::connect(int flags) {
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path_.c_str(), &raw, flags, nullptr);
  Connection db(raw);  // SQLite may hand out a handle even when it fails
  if (rc == SQLITE_OK) rc = sqlite3_busy_timeout(raw, kBusyTimeoutMs);
  lastResult_ = rc;
  if (rc == SQLITE_OK) connection_ = std::move(db);
  return rc;
}

int TavrelDb::initDb() {
  if (connection_) return lastResult_ = SQLITE_BUSY;
  if (path_.empty()) return lastResult_ = SQLITE_NOTFOUND;
  if (dbExists(path_.c_str())) return lastResult_ = SQLITE_BUSY;

  // A name that exists but cannot be read (a journal of another user, say)
  // is not ours to remove when the create fails.
  const bool existedBefore = NameExists(path_);
  int rc = connect(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  if (rc != SQLITE_OK) {
    if (!existedBefore) std::remove(path_.c_str());
    return rc;
  }
  return createSchema(existedBefore);
}

int TavrelDb::createSchema(bool fileExistedBefore) {
  for (std::size_t i = 0; i < kJournalSchemaSize; ++i) {
    char* message = nullptr;
    int rc = sqlite3_exec(connection_.get(), kJournalSchema[i], callback, nullptr, &message);
    lastMessage_.reset(message);
    lastResult_ = rc;
    if (rc != SQLITE_OK) {
      std::string line = "Create DataBase Error: ";
      line += sqlite3_errmsg(connection_.get());
      line += '\n';
      std::fputs(line.c_str(), stderr);
      std::fflush(stderr);
      lastMessage_.reset();
      disconnect();
      // A half-made journal would be opened as it is at the next start.
      if (!fileExistedBefore) std::remove(path_.c_str());
      return rc;
    }
  }
  return lastResult_;
}

int TavrelDb::open() {
  if (connection_) return lastResult_ = SQLITE_BUSY;
  if (path_.empty()) return lastResult_ = SQLITE_NOTFOUND;
  if (!dbExists(path_.c_str())) return lastResult_ = SQLITE_NOTFOUND;
  return connect(SQLITE_OPEN_READWRITE);
}

int TavrelDb::reopen(const char* path) {
  if (path == nullptr) return lastResult_ = SQLITE_NOTFOUND;
  close();
  setDBPath(path);
  return dbExists(path) ? open() : initDb();
}

void TavrelDb::disconnect() {
  for (Statement& stmt : statements_) stmt.finalize();
  connection_.reset();
}

int TavrelDb::close() {
  disconnect();
  lastMessage_.reset();
  return 0;
}

int TavrelDb::err() const { return lastResult_; }

const char* TavrelDb::errMsg() const { return sqlite3_errstr(lastResult_); }

}  // namespace storage
