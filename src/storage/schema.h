// The statements that create a new journal. Their texts are a stored format:
// SQLite keeps them in sqlite_master, where later versions and outside tools
// read them, so they must not change by a byte.
#ifndef NORVALEN_STORAGE_SCHEMA_H_
#define NORVALEN_STORAGE_SCHEMA_H_

#include <cstddef>

namespace storage {

// Run one by one, in this order: tables ALL_OPERATIONS, OFFLINE, BatchCount
// and SyncTask, 21 indexes, the trigger that keeps BatchCount to one row,
// and BatchCount's initial value 1, all in one transaction.
extern const char* const kJournalSchema[];
extern const std::size_t kJournalSchemaSize;

}  // namespace storage

#endif  // NORVALEN_STORAGE_SCHEMA_H_
