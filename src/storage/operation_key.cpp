#include "storage/operation_key.h"

namespace storage {

namespace {

bool Present(const char* text) { return text != nullptr && *text != '\0'; }

}  // namespace

std::string ChequeKey(const char* dateTime, const char* chequeId, int operType) {
  std::string key;
  // The cheque id only tells cheques apart within one date and time; on its
  // own it is not kept in the key.
  if (Present(dateTime)) {
    key += dateTime;
    key += '#';
    if (Present(chequeId)) key += chequeId;
  }
  key += '#';
  key += std::to_string(operType);
  return key;
}

std::string EventKey(const char* eventTime, const char* chequeId, int operType) {
  std::string key;
  if (Present(eventTime)) key += eventTime;
  key += '#';
  if (Present(chequeId)) key += chequeId;
  key += '#';
  key += std::to_string(operType);
  return key;
}

std::string ParentKey(const TransactDB* confirmed, const char* dateTime, const char* chequeId,
                      int confirmedType) {
  std::string key = ChequeKey(dateTime, chequeId, confirmedType);
  if (confirmed != nullptr && confirmed->OperType() == confirmedType &&
      confirmed->ID() != nullptr && key == confirmed->ID() && confirmed->JournalID() != nullptr) {
    return confirmed->JournalID();
  }
  return key;
}

}  // namespace storage
