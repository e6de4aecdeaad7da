#include "runner/card_info.h"

#include "util/json_value.h"
#include "util/text_field.h"

const char* tavrelCardInfo::getCardId() const { return TextOrNull(cardId); }
const char* tavrelCardInfo::getCardNum() const { return TextOrNull(cardNum); }
const char* tavrelCardInfo::getQRCode() const { return TextOrNull(qrCode); }
const char* tavrelCardInfo::getQRType() const { return TextOrNull(qrType); }
const char* tavrelCardInfo::getPan4() const { return TextOrNull(pan4); }
const char* tavrelCardInfo::getChequeId() const { return TextOrNull(chequeId); }
const char* tavrelCardInfo::getChequeNum() const { return TextOrNull(chequeNum); }
void tavrelCardInfo::setCardId(const char* text) { AssignText(cardId, text); }
void tavrelCardInfo::setCardNum(const char* text) { AssignText(cardNum, text); }
void tavrelCardInfo::setQRCode(const char* text) { AssignText(qrCode, text); }
void tavrelCardInfo::setQRType(const char* text) { AssignText(qrType, text); }
void tavrelCardInfo::setPan4(const char* text) { AssignText(pan4, text); }
void tavrelCardInfo::setChequeId(const char* text) { AssignText(chequeId, text); }
void tavrelCardInfo::setChequeNum(const char* text) { AssignText(chequeNum, text); }
void tavrelCardInfo::setCardIdType(const char*) { cardIdType = 0; }

void tavrelCardInfo::saveQueryBuf(const Json::Value& value, const char* name) {
  if (name != nullptr) {
    Json::Value wrapped(Json::objectValue);
    wrapped[name] = value;
    queryBuf = JsonOut(wrapped, false);
  } else {
    queryBuf = JsonOut(value, false);
  }
}

storage::TransactDB* tavrelCardInfo::TransactDB_new(const storage::TransactDB* from) {
  if (transactDb) {
    transactDb->clear();
  } else {
    transactDb.reset(new storage::TransactDB());
  }
  if (from != nullptr) {
    storage::TransactDB* to = transactDb.get();
    to->OperType(from->OperType());
    to->ID(from->ID());
    to->OrderUUID(from->OrderUUID());
    to->ChequeRownum(from->ChequeRownum());
    to->ParentID(from->ParentID());
    to->ChequeID(from->ChequeID());
    to->DateTime(from->DateTime());
    to->LocationID(from->LocationID());
    to->TerminalID(from->TerminalID());
    to->Shift(from->Shift());
    to->ShiftDate(from->ShiftDate());
    to->Offline(from->Offline());
    // The key the journal actually wrote the row under, so that a commit or
    // undo links to that row even when its key had to be widened.
    if (const char* written = from->JournalID()) to->JournalID(written);
  }
  return transactDb.get();
}

void tavrelCardInfo::TransactDB(storage::TransactDB* record) {
  if (record != transactDb.get()) transactDb.reset(record);
}
