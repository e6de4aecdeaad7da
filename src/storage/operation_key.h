// The journal keys of operations: the one place that spells them out.
//
// Texts are passed as the record getters return them: null or empty means
// absent.
//
// A write-off (type 3) or return (type 4) is keyed by its cheque:
//   with a cheque date and time D:  D "#" ChequeID "#" type   ("D#17#3",
//                                   "D##3" without a cheque id)
//   without a date and time:        "#" type                  ("#3"), the
//                                   cheque id is then left out.
// A commit (7) or undo (8) is keyed by the moment it was asked for:
//   event time "#" ChequeID "#" type, the event time being the 14-digit
//   local time YYYYMMDDhhmmss taken once per command.
// Its ParentID is the journal key of the operation it confirms or undoes.
//
// Equal keys of different operations are told apart by the journal, which
// then writes the later row under the key followed by "#2", "#3", ...
// (TavrelDb::InsRequest); ParentKey follows such a row.
#ifndef NORVALEN_STORAGE_OPERATION_KEY_H_
#define NORVALEN_STORAGE_OPERATION_KEY_H_

#include <string>

#include "storage/transact_db.h"

namespace storage {

// The cheque key of an operation of type `operType`.
std::string ChequeKey(const char* dateTime, const char* chequeId, int operType);

// The own key of a commit or undo of type `operType`.
std::string EventKey(const char* eventTime, const char* chequeId, int operType);

// The ParentID of a commit or undo whose record carries `dateTime` and
// `chequeId` and which confirms an operation of type `confirmedType`.
// `confirmed` is the journal record of that operation as the runner held it
// when the commit or undo began (take a copy before the first attempt, since
// each attempt replaces the held record); may be null. When it is the record
// of that very operation (same type, ID equal to the cheque key) and has
// been journalled, its JournalID is returned, so the link holds even when
// the row had to be written under a widened key; otherwise the cheque key.
std::string ParentKey(const TransactDB* confirmed, const char* dateTime, const char* chequeId,
                      int confirmedType);

}  // namespace storage

#endif  // NORVALEN_STORAGE_OPERATION_KEY_H_
