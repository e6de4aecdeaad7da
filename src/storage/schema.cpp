#include "storage/schema.h"

namespace storage {

const char* const kJournalSchema[] = {
    "PRAGMA foreign_keys=OFF",
    "BEGIN TRANSACTION",
    "CREATE TABLE ALL_OPERATIONS (ID PRIMARY KEY ASC ON CONFLICT IGNORE, DateTime, OperType "
    "INTEGER, OrderUUID, ChequeID, ChequeRownum, ParentID, Terminal, LocationID, Shift INTEGER, "
    "ShiftDate, ErrorCode INTEGER, Status INTEGER, Request, Response, Offline INTEGER, BatchID "
    "INTEGER)",
    "CREATE TABLE OFFLINE        (ID PRIMARY KEY ASC ON CONFLICT IGNORE, DateTime, OperType "
    "INTEGER, OrderUUID, ChequeID, ChequeRownum, ParentID, Terminal, LocationID, Shift INTEGER, "
    "ShiftDate, Request, BatchID INTEGER)",
    "CREATE TABLE BatchCount (BatchID INTEGER)",
    "CREATE TABLE SyncTask (ID PRIMARY KEY ON CONFLICT IGNORE DEFAULT (strftime('%s','now')) NOT "
    "NULL, Shift INTEGER, Datetime, BatchID  INTEGER UNIQUE ON CONFLICT IGNORE, Priority INTEGER "
    "NOT NULL DEFAULT (20))",
    "CREATE INDEX DateTime_INDEX ON ALL_OPERATIONS ( DateTime )",
    "CREATE INDEX ID_INDEX ON ALL_OPERATIONS ( ID )",
    "CREATE INDEX OrderUUID_INDEX ON ALL_OPERATIONS ( OrderUUID )",
    "CREATE INDEX ParentID_INDEX ON ALL_OPERATIONS ( ParentID )",
    "CREATE INDEX OperType_INDEX ON ALL_OPERATIONS ( OperType )",
    "CREATE INDEX ChequeID_INDEX ON ALL_OPERATIONS ( ChequeID )",
    "CREATE INDEX ChequeRownum_INDEX ON ALL_OPERATIONS ( ChequeRownum )",
    "CREATE INDEX Terminal_INDEX ON ALL_OPERATIONS ( Terminal )",
    "CREATE INDEX Shift_INDEX ON ALL_OPERATIONS ( Shift )",
    "CREATE INDEX Status_INDEX ON ALL_OPERATIONS ( Status )",
    "CREATE INDEX ErrorCode_INDEX ON ALL_OPERATIONS ( ErrorCode )",
    "CREATE INDEX Offline_INDEX ON ALL_OPERATIONS ( Offline )",
    "CREATE INDEX LocationID_INDEX ON ALL_OPERATIONS ( LocationID )",
    "CREATE INDEX OfflineID_INDEX ON OFFLINE ( ID )",
    "CREATE INDEX OfflineOrderUUID_INDEX ON OFFLINE ( OrderUUID )",
    "CREATE INDEX OfflineParentID_INDEX ON OFFLINE ( ParentID )",
    "CREATE INDEX OfflineDateTime_INDEX ON OFFLINE ( DateTime )",
    "CREATE INDEX OfflineOperType_INDEX ON OFFLINE ( OperType )",
    "CREATE INDEX OfflineChequeID_INDEX ON OFFLINE ( ChequeID )",
    "CREATE INDEX OfflineChequeRownum_INDEX ON OFFLINE ( ChequeRownum )",
    "CREATE INDEX OfflineBatchID_INDEX ON OFFLINE ( BatchID )",
    "CREATE TRIGGER INSERT_NEW_NUM BEFORE INSERT ON BatchCount FOR EACH ROW WHEN EXISTS(SELECT "
    "BatchID FROM BatchCount)  BEGIN Select RAISE(IGNORE); END",
    "INSERT INTO BatchCount VALUES(1)",
    "COMMIT",
};

const std::size_t kJournalSchemaSize = sizeof(kJournalSchema) / sizeof(kJournalSchema[0]);

}  // namespace storage
