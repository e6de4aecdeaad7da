#include "storage/sqlite_handles.h"

namespace storage {

Statement::~Statement() { sqlite3_finalize(stmt_); }

void Statement::finalize() {
  sqlite3_finalize(stmt_);
  stmt_ = nullptr;
}

int Statement::prepare(sqlite3* db, const std::string& sql) {
  sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
  }
  return rc;
}

int Statement::bindNull(const char* name) {
  int index = sqlite3_bind_parameter_index(stmt_, name);
  return index == 0 ? SQLITE_OK : sqlite3_bind_null(stmt_, index);
}

int Statement::bindInt(const char* name, long long value) {
  int index = sqlite3_bind_parameter_index(stmt_, name);
  return index == 0 ? SQLITE_OK : sqlite3_bind_int64(stmt_, index, value);
}

int Statement::bindText(const char* name, const std::string& value) {
  int index = sqlite3_bind_parameter_index(stmt_, name);
  if (index == 0) return SQLITE_OK;
  return sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()),
                           SQLITE_TRANSIENT);
}

int Statement::step() { return sqlite3_step(stmt_); }

void Statement::reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

long long Statement::columnInt(int column) const { return sqlite3_column_int64(stmt_, column); }

const char* Statement::columnText(int column) const {
  return reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
}

bool Statement::columnIsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

}  // namespace storage
