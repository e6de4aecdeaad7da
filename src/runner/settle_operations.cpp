// Commit and Undo: the POS confirms or cancels the last PayBonus or
// PayReturn. The request posted is derived from the one that operation kept
// (copied over what the POS's own member says), journalled as a child of
// its row, and afterwards the kept requests are released, so the same
// operation can be settled only once.
#include <string>

#include "runner/card_info.h"
#include "runner/journalled_operation.h"
#include "runner/kept_copy.h"
#include "runner/runner.h"
#include "service/log.h"
#include "storage/operation_key.h"

namespace {

// What a commit and an undo say differently.
struct SettleTexts {
  const char* opening;
  const char* refused;     // 13: nothing to settle now
  const char* noKept;      // 14, followed by " списания" or " возврата" and " бонусов"
  const char* format;      // validation codes without a text of their own
  const char* copyNoData;  // copy failures: 14, 18, 13, any other
  const char* copyNoTarget;
  const char* copyOther;
};

const SettleTexts kCommitTexts = {
    "Запрос на фиксацию списания/возврата бонусов по карте: ( ",
    "Фиксация списания/возврата бонусов в текущем состоянии невозможна",
    "Отcутствуют данные для фиксации операции",
    "Ошибка формата команды для формирования запроса на подтверждение списания/возврата",
    "Осутствуют данные для фиксации",
    "Отсутствует компонента для записи фиксации",
    "Ошибка копирования данных для фиксации",
};

const SettleTexts kUndoTexts = {
    "Запрос на отмену списания/возврата  бонусов по карте: ( ",
    "Отмена списания/возврата бонусов в текущем состоянии невозможна",
    "Отcутствуют данные для отмены операции",
    "Ошибка формата команды для формирования запроса на отмену списания/возврата",
    "Осутствуют данные для отмены",
    "Отсутствует компонента для записи отмены",
    "Ошибка копирования данных для отмены",
};

// `Set` is the commit or undo message set; `Input` its request class.
template <class Set, class Input, CmdCodes kCode>
class SettleOperation : public SetOperation<Set, JournalledOperation> {
  using Base = SetOperation<Set, JournalledOperation>;

 public:
  using CopyFromPayment = int (*)(const interface::payment::Payment_Input*, Input*);
  using CopyFromReturn = int (*)(const interface::rtrn::Rtrn_Input*, Input*);

  SettleOperation(tavrelRunner& runner, Set& set, const SettleTexts& texts, CopyFromPayment fromPayment,
                  CopyFromReturn fromReturn)
      : Base(runner, set), texts_(texts), fromPayment_(fromPayment), fromReturn_(fromReturn) {}

  CmdCodes code() const override { return kCode; }
  // A commit forgets the points of the card, as a payment does.
  void onCardRecord(tavrelCardInfo& card) override {
    if (kCode == CMD_COMMIT) card.setPoints(0);
  }
  std::string openingText() const override { return texts_.opening; }
  std::string formatText() const override { return texts_.format; }

  // Refusals change nothing: the settled operation stays as it was.
  int preconditions(Json::Value& reply) override {
    const CmdCodes last = this->runner().getLastCommand();
    if (last != CMD_PAY_BONUS && last != CMD_PAY_RETURN) return refuse(reply, 13, texts_.refused);
    const bool kept = last == CMD_PAY_BONUS ? this->keptPayment() != nullptr : this->keptReturn() != nullptr;
    if (!kept) {
      return refuse(reply, 14, std::string(texts_.noKept) +
                                   (last == CMD_PAY_BONUS ? " списания" : " возврата") + " бонусов");
    }
    return 0;
  }
  // The event time is taken once for all attempts, and so is the settled
  // operation's journal record, which each attempt's record replaces.
  void beforeLoop() override {
    settled_ = this->runner().getLastCommand();
    eventTime_ = get_cur_evdate_str();
    const storage::TransactDB* held = this->card()->TransactDB();
    hasConfirmed_ = held != nullptr;
    if (held != nullptr) confirmed_ = *held;
  }
  int readRequest(const Json::Value& block) override {
    Input& in = *this->set().input;
    in.oper_type = settled_;
    in.event_time = eventTime_;
    return in.readRequest(block);
  }
  int copyRequest(std::string* failureText) override {
    Input* in = this->set().input.get();
    const int code = settled_ == CMD_PAY_BONUS ? fromPayment_(this->keptPayment(), in)
                                               : fromReturn_(this->keptReturn(), in);
    switch (code) {
      case 0: break;
      case 14: *failureText = texts_.copyNoData; break;
      case 18: *failureText = texts_.copyNoTarget; break;
      case 13: *failureText = texts_.refused; break;
      default: *failureText = texts_.copyOther; break;
    }
    return code;
  }
  int callProxy() override { return call(this->set()); }
  // The settled operation can be settled only once, whatever the outcome.
  void releaseAfterLoop() override {
    Base::releaseAfterLoop();
    this->runner().clearPaymentInfo();
    this->runner().clearRtrnInfo();
  }

 protected:
  // The own key from the event time; the parent key names the settled
  // operation's row (also when the journal had to widen its key).
  void setKeys(storage::TransactDB& record, const interface::JournalledInput& request) override {
    (void)request;
    record.ID(storage::EventKey(eventTime_.c_str(), record.ChequeID(), kCode));
    record.ParentID(storage::ParentKey(hasConfirmed_ ? &confirmed_ : nullptr, record.DateTime(),
                                       record.ChequeID(), settled_));
  }

 private:
  int refuse(Json::Value& reply, int code, const std::string& text) {
    runner_log(text);
    reply["err"] = std::to_string(code);
    reply["errMsg"] = text;
    return code;
  }
  static int call(CommitSet& set) { return set.proxy->getCommitProc(set.input.get(), set.output.get()); }
  static int call(UndoSet& set) { return set.proxy->getUndoProc(set.input.get(), set.output.get()); }

  const SettleTexts& texts_;
  CopyFromPayment fromPayment_;
  CopyFromReturn fromReturn_;
  CmdCodes settled_ = CMD_UNKNOWN;
  std::string eventTime_;
  storage::TransactDB confirmed_;
  bool hasConfirmed_ = false;
};

}  // namespace

int tavrelRunner::runCommitInfo(const Json::Value& block, Json::Value& reply, bool flag) {
  (void)flag;
  SettleOperation<CommitSet, interface::commits::Commit_Input, CMD_COMMIT> op(
      *this, commitSet, kCommitTexts, copyCommitPaym, copyCommitRtrn);
  return runFrame(op, block, reply);
}

int tavrelRunner::runUndoInfo(const Json::Value& block, Json::Value& reply, bool flag) {
  (void)flag;
  SettleOperation<UndoSet, interface::undo::Undo_Input, CMD_UNDO> op(*this, undoSet, kUndoTexts,
                                                                     copyUndoPaym, copyUndoRtrn);
  return runFrame(op, block, reply);
}
