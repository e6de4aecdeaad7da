#include "storage/transact_db.h"

#include "util/text_field.h"

namespace storage {

TransactDB::TransactDB() : oper_type_(-1), offline_(false) {}

TransactDB::~TransactDB() = default;

void TransactDB::clear() { *this = TransactDB(); }

const char* TransactDB::ID() const { return TextOrNull(id_); }
void TransactDB::ID(const char* value) { AssignText(id_, value); }
void TransactDB::ID(const std::string& value) { id_ = value; }

const char* TransactDB::OrderUUID() const { return TextOrNull(order_uuid_); }
void TransactDB::OrderUUID(const char* value) { AssignText(order_uuid_, value); }

const char* TransactDB::ParentID() const { return TextOrNull(parent_id_); }
void TransactDB::ParentID(const char* value) { AssignText(parent_id_, value); }
void TransactDB::ParentID(const std::string& value) { parent_id_ = value; }

const char* TransactDB::DateTime() const { return TextOrNull(date_time_); }
void TransactDB::DateTime(const char* value) { AssignText(date_time_, value); }
void TransactDB::DateTime(const std::string& value) { date_time_ = value; }

int TransactDB::OperType() const { return oper_type_; }
void TransactDB::OperType(int value) { oper_type_ = value; }

const char* TransactDB::ChequeID() const { return TextOrNull(cheque_id_); }
void TransactDB::ChequeID(const char* value) { AssignText(cheque_id_, value); }
void TransactDB::ChequeID(const std::string& value) { cheque_id_ = value; }

const char* TransactDB::ChequeRownum() const { return TextOrNull(cheque_rownum_); }
void TransactDB::ChequeRownum(const char* value) { AssignText(cheque_rownum_, value); }

const char* TransactDB::TerminalID() const { return TextOrNull(terminal_id_); }
void TransactDB::TerminalID(const char* value) { AssignText(terminal_id_, value); }
void TransactDB::TerminalID(const std::string& value) { terminal_id_ = value; }

const char* TransactDB::LocationID() const { return TextOrNull(location_id_); }
void TransactDB::LocationID(const char* value) { AssignText(location_id_, value); }
void TransactDB::LocationID(const std::string& value) { location_id_ = value; }

const char* TransactDB::Shift() const { return TextOrNull(shift_); }
void TransactDB::Shift(const char* value) { AssignText(shift_, value); }
void TransactDB::Shift(const std::string& value) { shift_ = value; }

const char* TransactDB::ShiftDate() const { return TextOrNull(shift_date_); }
void TransactDB::ShiftDate(const char* value) { AssignText(shift_date_, value); }
void TransactDB::ShiftDate(const std::string& value) { shift_date_ = value; }

bool TransactDB::Offline() const { return offline_; }
void TransactDB::Offline(bool value) { offline_ = value; }

const char* TransactDB::JournalID() const { return TextOrNull(journal_id_); }
void TransactDB::JournalID(const std::string& value) { journal_id_ = value; }

bool IsJournalledType(int operType) {
  // The command codes of PayBonus, PayReturn, Commit and Undo.
  return operType == 3 || operType == 4 || operType == 7 || operType == 8;
}

}  // namespace storage
