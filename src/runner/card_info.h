// tavrelCardInfo: the runner's current card record. It carries the card and
// cheque of the last operations across requests and connections, and owns
// the journal record of the operation in progress.
#ifndef NORVALEN_RUNNER_CARD_INFO_H_
#define NORVALEN_RUNNER_CARD_INFO_H_

#include <memory>
#include <string>

#include <json/json.h>

#include "storage/transact_db.h"

class tavrelCardInfo {
 public:
  tavrelCardInfo() = default;
  ~tavrelCardInfo() = default;
  tavrelCardInfo(const tavrelCardInfo&) = delete;
  tavrelCardInfo& operator=(const tavrelCardInfo&) = delete;

  // Getters give null for an empty text; setters take null as empty.
  const char* getCardId() const;
  const char* getCardNum() const;
  const char* getQRCode() const;
  const char* getQRType() const;
  const char* getPan4() const;
  const char* getChequeId() const;
  const char* getChequeNum() const;
  void setCardId(const char* text);
  void setCardNum(const char* text);
  void setQRCode(const char* text);
  void setQRType(const char* text);
  void setPan4(const char* text);
  void setChequeId(const char* text);
  void setChequeNum(const char* text);
  void setCardIdType(const char* text);  // always stores 0
  void setPoints(double points) { cardPoints = points; }

  // True: the record belongs to somebody else and the runner keeps it.
  bool self_owned() const { return selfOwned; }
  void _change_own_state(bool owned) { selfOwned = owned; }

  // queryBuf becomes the compact JSON text of `value`, wrapped in an object
  // under `name` when a name is given.
  void saveQueryBuf(const Json::Value& value, const char* name);
  const std::string& getQueryBuf() const { return queryBuf; }

  // Clears the held journal record (or creates one) and copies the key
  // fields of `from` into it when given.
  storage::TransactDB* TransactDB_new(const storage::TransactDB* from);
  storage::TransactDB* TransactDB() const { return transactDb.get(); }
  void TransactDB(storage::TransactDB* record);
  void TransactDB_free() { transactDb.reset(); }

 private:
  bool selfOwned = true;
  std::string cardId;
  std::string cardNum;
  std::string pan4;
  std::string chequeId;
  std::string chequeNum;
  std::string queryBuf;
  std::string qrCode;
  std::string qrType;
  std::unique_ptr<storage::TransactDB> transactDb;
  double cardPoints = 0;
  int cardIdType = 0;
};

#endif  // NORVALEN_RUNNER_CARD_INFO_H_
