// JournalledOperation: the frame layer of the money operations (PayBonus,
// PayReturn, Commit, Undo). Each of them journals itself the same way:
// after its request has been read (each attempt) it takes the offline
// mark, completes the request, describes the operation in a journal record
// kept by the card record and writes the row with the POS request; after
// the loop it completes that row with the reply and the outcome. The
// operations differ only in the hooks below, and read their request through
// the one interface of the money families (interface::JournalledInput).
#ifndef NORVALEN_RUNNER_JOURNALLED_OPERATION_H_
#define NORVALEN_RUNNER_JOURNALLED_OPERATION_H_

#include <json/json.h>

#include "interface/order_parts.h"
#include "runner/operation_frame.h"
#include "storage/transact_db.h"

class JournalledOperation : public FrameOperation {
 public:
  using FrameOperation::FrameOperation;

  // Each attempt whose request was read: the offline mark (set when the
  // last call before it went unanswered), the completion from the card
  // record and the configuration, the journal record, the row.
  void prepare(const Json::Value& block) override;
  // After the loop: the row completed with the reply and the outcome (a
  // null record when this operation wrote no row), and the saving status.
  void afterLoop(const Json::Value& reply, int result) override;

 protected:
  // The card record's cheque number: the order's cheque number (a
  // payment), or the transaction's own id (return, commit, undo).
  enum ChequeNumberSource { CHEQUE_FROM_ORDER, CHEQUE_FROM_TRANSACTION };
  virtual ChequeNumberSource chequeNumberSource() const { return CHEQUE_FROM_TRANSACTION; }
  // A payment or return without a card number or QR data takes those of
  // the card record (the last CardInfo); a commit or undo has them copied
  // from the settled request instead.
  virtual bool completesCardFromRecord() const { return false; }
  // The record's ID (and ParentID): by default the cheque key of this
  // operation's type.
  virtual void setKeys(storage::TransactDB& record, const interface::JournalledInput& request);

 private:
  interface::JournalledInput* request();
  void completeCard(interface::ui_LOYMember& member);
  storage::TransactDB describe(interface::JournalledInput& in);

  bool wroteRow_ = false;
};

#endif  // NORVALEN_RUNNER_JOURNALLED_OPERATION_H_
