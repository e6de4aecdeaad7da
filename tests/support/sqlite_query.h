// Reading a journal from the outside, as a support engineer's sqlite3 shell
// would: on a connection of its own, read-only.
#ifndef NORVALEN_TESTS_SUPPORT_SQLITE_QUERY_H_
#define NORVALEN_TESTS_SUPPORT_SQLITE_QUERY_H_

#include <string>
#include <vector>

using Row = std::vector<std::string>;
extern const char kNull[];  // "<NULL>"

// Runs `sql` on the database at `path`; NULL reads as kNull, and each value
// is prefixed by its storage class when `typed` ("integer:12", "text:D").
// A statement that does not prepare is a test failure.
std::vector<Row> Query(const std::string& path, const std::string& sql, bool typed = false);

#endif  // NORVALEN_TESTS_SUPPORT_SQLITE_QUERY_H_
