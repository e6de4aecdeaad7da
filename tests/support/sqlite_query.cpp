#include "support/sqlite_query.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

const char kNull[] = "<NULL>";

std::vector<Row> Query(const std::string& path, const std::string& sql, bool typed) {
  std::vector<Row> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
      while (sqlite3_step(stmt) == SQLITE_ROW) {
        Row row;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
          const int type = sqlite3_column_type(stmt, i);
          const unsigned char* text = sqlite3_column_text(stmt, i);
          std::string value = text ? reinterpret_cast<const char*>(text) : kNull;
          if (typed && type == SQLITE_INTEGER) value = "integer:" + value;
          if (typed && type == SQLITE_TEXT) value = "text:" + value;
          row.push_back(value);
        }
        rows.push_back(row);
      }
    } else {
      ADD_FAILURE() << "cannot prepare " << sql << ": " << sqlite3_errmsg(db);
    }
    sqlite3_finalize(stmt);
  } else {
    ADD_FAILURE() << "cannot open " << path;
  }
  sqlite3_close(db);
  return rows;
}
