#include "runner/card_info.h"

#include "util/json_value.h"

namespace {

const char* or_null(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

void assign(std::string& member, const char* text) {
  member.clear();
  if (text != nullptr) member = text;
}

}  // namespace

const char* tavrelCardInfo::getCardId() const { return or_null(cardId); }
const char* tavrelCardInfo::getCardNum() const { return or_null(cardNum); }
const char* tavrelCardInfo::getQRCode() const { return or_null(qrCode); }
const char* tavrelCardInfo::getQRType() const { return or_null(qrType); }
const char* tavrelCardInfo::getPan4() const { return or_null(pan4); }
const char* tavrelCardInfo::getChequeId() const { return or_null(chequeId); }
const char* tavrelCardInfo::getChequeNum() const { return or_null(chequeNum); }
void tavrelCardInfo::setCardId(const char* text) { assign(cardId, text); }
void tavrelCardInfo::setCardNum(const char* text) { assign(cardNum, text); }
void tavrelCardInfo::setQRCode(const char* text) { assign(qrCode, text); }
void tavrelCardInfo::setQRType(const char* text) { assign(qrType, text); }
void tavrelCardInfo::setPan4(const char* text) { assign(pan4, text); }
void tavrelCardInfo::setChequeId(const char* text) { assign(chequeId, text); }
void tavrelCardInfo::setChequeNum(const char* text) { assign(chequeNum, text); }
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
  }
  return transactDb.get();
}

void tavrelCardInfo::TransactDB(storage::TransactDB* record) {
  if (record != transactDb.get()) transactDb.reset(record);
}
