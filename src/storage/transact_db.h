// storage::TransactDB: the description of one journalled operation (bonus
// write-off, bonus return, commit or undo), handed to TavrelDb::InsRequest
// before the processing call and to TavrelDb::UpdRespond after it.
//
// Texts are owned copies. A getter returns null for an empty text, which the
// journal stores as NULL; a setter takes null as empty.
#ifndef NORVALEN_STORAGE_TRANSACT_DB_H_
#define NORVALEN_STORAGE_TRANSACT_DB_H_

#include <string>

namespace storage {

class TransactDB {
 public:
  // All texts empty, OperType -1, Offline false.
  TransactDB();
  virtual ~TransactDB();

  // Back to the state after construction (JournalID included).
  void clear();

  // Key of the operation: the cheque key or event key of operation_key.h.
  const char* ID() const;
  void ID(const char* value);
  void ID(const std::string& value);

  const char* OrderUUID() const;
  void OrderUUID(const char* value);

  // Commit and undo: the journal key of the operation confirmed or undone.
  const char* ParentID() const;
  void ParentID(const char* value);
  void ParentID(const std::string& value);

  // Cheque date and time.
  const char* DateTime() const;
  void DateTime(const char* value);
  void DateTime(const std::string& value);

  // The CmdCodes value: 3 write-off, 4 return, 7 commit, 8 undo; -1 unset.
  int OperType() const;
  void OperType(int value);

  const char* ChequeID() const;
  void ChequeID(const char* value);
  void ChequeID(const std::string& value);

  const char* ChequeRownum() const;
  void ChequeRownum(const char* value);

  const char* TerminalID() const;
  void TerminalID(const char* value);
  void TerminalID(const std::string& value);

  const char* LocationID() const;
  void LocationID(const char* value);
  void LocationID(const std::string& value);

  // Shift number as text; the journal stores its leading decimal number.
  const char* Shift() const;
  void Shift(const char* value);
  void Shift(const std::string& value);

  const char* ShiftDate() const;
  void ShiftDate(const char* value);
  void ShiftDate(const std::string& value);

  // Marked offline: the row is also copied into the table OFFLINE.
  bool Offline() const;
  void Offline(bool value);

  // The key of the journal row that InsRequest chose for this operation;
  // null before. It equals ID unless ID was already taken by an earlier,
  // different operation, in which case it is ID followed by "#2", "#3", ...
  // (see TavrelDb::InsRequest). UpdRespond completes the row of this key.
  const char* JournalID() const;
  void JournalID(const std::string& value);

 private:
  std::string id_;
  std::string order_uuid_;
  std::string parent_id_;
  std::string date_time_;
  int oper_type_;
  std::string cheque_id_;
  std::string cheque_rownum_;
  std::string terminal_id_;
  std::string location_id_;
  std::string shift_;
  std::string shift_date_;
  bool offline_;
  std::string journal_id_;
};

// True for the operation types that the journal records: 3, 4, 7 and 8.
bool IsJournalledType(int operType);

}  // namespace storage

#endif  // NORVALEN_STORAGE_TRANSACT_DB_H_
