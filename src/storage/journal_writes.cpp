// TavrelDb's journal writes: the row of an operation before its processing
// call (InsRequest) and its reply and outcome after it (UpdRespond).
#include <cerrno>
#include <cstdlib>
#include <string>

#include "storage/tavrel_db.h"
#include "util/json_value.h"

namespace storage {

namespace {

const char kInsertOperation[] =
    "INSERT INTO ALL_OPERATIONS"
    " (ID, DateTime, OperType, OrderUUID, ChequeID, ChequeRownum, ParentID, Terminal, LocationID,"
    " Shift, ShiftDate, Request, Offline) "
    " VALUES "
    " (:id, :dt, :otype, :orderuuid, :checkid, :checkrownum, :prntid, :term, :loc, :shift,"
    " :shiftdate, :request, :offline)";

const char kInsertOffline[] =
    "INSERT INTO OFFLINE"
    " (ID, DateTime, OperType, OrderUUID, ChequeID, ChequeRownum, ParentID, Terminal, LocationID,"
    " Shift, ShiftDate, Request) "
    " VALUES "
    " (:id, :dt, :otype, :orderuuid, :checkid, :checkrownum, :prntid, :term, :loc, :shift,"
    " :shiftdate, :request)";

const char kUpdateResponse[] =
    "UPDATE ALL_OPERATIONS"
    " SET Response=:resp"
    "   , Offline=:offline"
    "   , ErrorCode=:err"
    " WHERE ID=:id";

const char kCopyToOffline[] =
    "INSERT INTO OFFLINE"
    " (ID, DateTime, OperType, OrderUUID, ChequeID, ChequeRownum, ParentID, Terminal, LocationID,"
    " Shift, ShiftDate, Request)"
    " SELECT ID, DateTime, OperType, OrderUUID, ChequeID, ChequeRownum, ParentID, Terminal,"
    " LocationID, Shift, ShiftDate,Request"
    " FROM ALL_OPERATIONS"
    " WHERE ID=:id";

// A row whose operation has not been completed by UpdRespond yet.
const char kUnfinishedRow[] = "(Response IS NULL AND ErrorCode IS NULL)";

std::string ProbeRowSql() {
  return std::string("SELECT ") + kUnfinishedRow + ", Request FROM ALL_OPERATIONS WHERE ID=:id";
}

// Narrows an update or copy by ID to an unfinished row.
std::string OnlyUnfinished() { return std::string(" AND ") + kUnfinishedRow; }

// The highest "<n>" among the keys "<base>#<n>": the keys between
// "<base>#" and "<base>$" ('$' follows '#') are exactly those that begin with
// "<base>#"; the byte offset works on the BLOB form, whatever the text holds.
const char kHighestSuffix[] =
    "SELECT max(CAST(substr(CAST(ID AS BLOB), :from) AS INTEGER)) FROM ALL_OPERATIONS"
    " WHERE ID > :low AND ID < :high";

// Far beyond any real count; keeps the suffix arithmetic clear of overflow.
constexpr long long kMaxSuffix = 1000000000000LL;

// The Shift column keeps the leading decimal number of the text (blanks and
// a sign allowed, as atoi reads it); -1 when the text is absent or has no
// digits to read, and also when the number does not fit 64 bits.
long long ShiftNumber(const char* text) {
  if (text == nullptr) return -1;
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(text, &end, 10);
  if (end == text || errno == ERANGE) return -1;
  return value;
}

// Binds the columns of `record` under `key`: every text parameter to NULL
// first, then the integers, then the texts that are present.
int BindRecord(Statement* stmt, const TransactDB& record, const std::string& key,
               const std::string& requestText) {
  static const char* const kTextParameters[] = {
      ":id", ":orderuuid", ":prntid", ":dt", ":checkid", ":checkrownum",
      ":term", ":loc", ":request", ":shift", ":shiftdate"};
  for (const char* name : kTextParameters) {
    int rc = stmt->bindNull(name);
    if (rc != SQLITE_OK) return rc;
  }
  int rc = stmt->bindInt(":otype", record.OperType());
  if (rc == SQLITE_OK) rc = stmt->bindInt(":offline", record.Offline() ? 1 : 0);

  struct Text {
    const char* name;
    const char* value;
  };
  const Text texts[] = {{":orderuuid", record.OrderUUID()}, {":prntid", record.ParentID()},
                        {":dt", record.DateTime()},         {":checkid", record.ChequeID()},
                        {":checkrownum", record.ChequeRownum()},
                        {":term", record.TerminalID()},     {":loc", record.LocationID()},
                        {":shiftdate", record.ShiftDate()}};
  if (rc == SQLITE_OK && !key.empty()) rc = stmt->bindText(":id", key);
  for (const Text& text : texts) {
    if (rc != SQLITE_OK) return rc;
    if (text.value != nullptr) rc = stmt->bindText(text.name, text.value);
  }
  if (rc == SQLITE_OK) rc = stmt->bindText(":request", requestText);
  // A shift of 0 or below is no shift number at all.
  const long long shift = ShiftNumber(record.Shift());
  if (rc == SQLITE_OK && shift > 0) rc = stmt->bindInt(":shift", shift);
  return rc;
}

// A step that fails replaces `result`, so the later failure wins; SQLITE_ROW
// and SQLITE_DONE succeed.
void StepInto(Statement* stmt, int* result) {
  int rc = stmt->step();
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) *result = rc;
}

enum class RowOwner { kFree, kThisOperation, kOtherOperation };

// Who holds the row `key`: nobody, the operation whose request text is
// `requestText` and that is still waiting for its reply, or another one.
int FindOwner(Statement* probe, const std::string& key, const std::string& requestText,
              RowOwner* owner) {
  probe->reset();
  int rc = probe->bindText(":id", key);
  if (rc != SQLITE_OK) return rc;
  rc = probe->step();
  if (rc == SQLITE_DONE) {
    *owner = RowOwner::kFree;
    return SQLITE_OK;
  }
  if (rc != SQLITE_ROW) return rc;
  const bool unfinished = probe->columnInt(0) != 0;
  const char* stored = probe->columnText(1);
  const bool sameRequest = stored != nullptr && requestText == stored;
  *owner = unfinished && sameRequest ? RowOwner::kThisOperation : RowOwner::kOtherOperation;
  return SQLITE_OK;
}

std::string SuffixedKey(const std::string& base, long long n) {
  return base + "#" + std::to_string(n);
}

}  // namespace

Statement* TavrelDb::statement(Sql which, int* rc) {
  Statement& stmt = statements_[which];
  *rc = SQLITE_OK;
  if (stmt.prepared()) return &stmt;
  std::string sql;
  switch (which) {
    case kInsertOperationSql: sql = kInsertOperation; break;
    case kInsertOfflineSql: sql = kInsertOffline; break;
    case kProbeRowSql: sql = ProbeRowSql(); break;
    case kHighestSuffixSql: sql = kHighestSuffix; break;
    case kUpdateResponseSql: sql = kUpdateResponse; break;
    case kUpdateUnfinishedSql: sql = kUpdateResponse + OnlyUnfinished(); break;
    case kCopyToOfflineSql: sql = kCopyToOffline; break;
    case kCopyUnfinishedSql: sql = kCopyToOffline + OnlyUnfinished(); break;
    case kSqlCount: *rc = SQLITE_MISUSE; return nullptr;
  }
  *rc = stmt.prepare(connection_.get(), sql);
  return *rc == SQLITE_OK ? &stmt : nullptr;
}

int TavrelDb::chooseRowKey(const std::string& base, const std::string& requestText,
                           std::string* key) {
  int rc = SQLITE_OK;
  Statement* probe = statement(kProbeRowSql, &rc);
  if (probe == nullptr) return rc;
  const StatementReset probeDone(probe);
  RowOwner owner;
  rc = FindOwner(probe, base, requestText, &owner);
  if (rc != SQLITE_OK) return rc;
  if (owner != RowOwner::kOtherOperation) {
    *key = base;
    return SQLITE_OK;
  }

  // The key is taken by an earlier operation. The latest widened key is the
  // one a retry of this operation would have used.
  Statement* highest = statement(kHighestSuffixSql, &rc);
  if (highest == nullptr) return rc;
  long long latest = 0;
  {
    const StatementReset highestDone(highest);
    if ((rc = highest->bindInt(":from", static_cast<long long>(base.size()) + 2)) != SQLITE_OK ||
        (rc = highest->bindText(":low", base + "#")) != SQLITE_OK ||
        (rc = highest->bindText(":high", base + "$")) != SQLITE_OK) {
      return rc;
    }
    rc = highest->step();
    if (rc != SQLITE_ROW) return rc;
    latest = highest->columnIsNull(0) ? 0 : highest->columnInt(0);
  }
  if (latest >= kMaxSuffix) return SQLITE_FULL;

  long long next = 2;
  if (latest >= 2) {
    rc = FindOwner(probe, SuffixedKey(base, latest), requestText, &owner);
    if (rc != SQLITE_OK) return rc;
    if (owner == RowOwner::kThisOperation) {
      *key = SuffixedKey(base, latest);
      return SQLITE_OK;
    }
    next = latest + 1;
  }
  // Normally the first candidate is free; keys written by outside tools may
  // not follow the pattern, so make sure.
  for (; next < kMaxSuffix; ++next) {
    rc = FindOwner(probe, SuffixedKey(base, next), requestText, &owner);
    if (rc != SQLITE_OK) return rc;
    if (owner != RowOwner::kOtherOperation) {
      *key = SuffixedKey(base, next);
      return SQLITE_OK;
    }
  }
  return SQLITE_FULL;
}

int TavrelDb::InsRequest(TransactDB* record, const Json::Value& request) {
  if (!connection_) return SQLITE_NOTADB;
  if (record == nullptr || !IsJournalledType(record->OperType())) return SQLITE_NOTFOUND;

  int rc = SQLITE_OK;
  Statement* operation = statement(kInsertOperationSql, &rc);
  if (operation == nullptr) return rc;
  const StatementReset operationDone(operation);
  Statement* offline = nullptr;
  if (record->Offline()) {
    offline = statement(kInsertOfflineSql, &rc);
    if (offline == nullptr) return rc;
  }
  const StatementReset offlineDone(offline);

  const std::string requestText = JsonOut(request, false);
  // Without an ID there is nothing to collide with: SQLite keeps NULL keys
  // apart.
  std::string key;
  if (record->ID() != nullptr) {
    rc = chooseRowKey(record->ID(), requestText, &key);
    if (rc != SQLITE_OK) return rc;
  }
  record->JournalID(key);

  rc = BindRecord(operation, *record, key, requestText);
  if (rc == SQLITE_OK && offline != nullptr) rc = BindRecord(offline, *record, key, requestText);
  if (rc != SQLITE_OK) return rc;

  int result = SQLITE_DONE;
  StepInto(operation, &result);
  if (offline != nullptr) StepInto(offline, &result);
  return result;
}

int TavrelDb::UpdRespond(TransactDB* record, const Json::Value& reply, int outcome) {
  if (!connection_) return SQLITE_NOTADB;
  if (record == nullptr || !IsJournalledType(record->OperType())) return SQLITE_NOTFOUND;

  // Without the key its insert chose, the row under the plain ID may belong
  // to an earlier operation; only an unfinished one can be this record's.
  const bool keyKnown = record->JournalID() != nullptr;
  const char* target = keyKnown ? record->JournalID() : record->ID();

  int rc = SQLITE_OK;
  Statement* update = statement(keyKnown ? kUpdateResponseSql : kUpdateUnfinishedSql, &rc);
  if (update == nullptr) return rc;
  const StatementReset updateDone(update);
  Statement* copy = nullptr;
  if (record->Offline()) {
    copy = statement(keyKnown ? kCopyToOfflineSql : kCopyUnfinishedSql, &rc);
    if (copy == nullptr) return rc;
  }
  const StatementReset copyDone(copy);

  const std::string replyText = JsonOut(reply, false);
  rc = update->bindInt(":err", outcome);
  if (rc == SQLITE_OK) rc = update->bindInt(":offline", record->Offline() ? 1 : 0);
  // An absent key stays unbound (NULL), so the update matches no row.
  if (rc == SQLITE_OK && target != nullptr) rc = update->bindText(":id", target);
  if (rc == SQLITE_OK) rc = update->bindText(":resp", replyText);
  if (rc == SQLITE_OK && copy != nullptr && target != nullptr) rc = copy->bindText(":id", target);
  if (rc != SQLITE_OK) return rc;

  int result = SQLITE_DONE;
  // The copy goes first, so that it takes the row as InsRequest wrote it.
  if (copy != nullptr) StepInto(copy, &result);
  StepInto(update, &result);
  return result;
}

}  // namespace storage
