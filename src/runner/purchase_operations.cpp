// Bonus payment (PayBonus) and bonus return (PayReturn): a purchase or a
// refund read from the POS, completed from the card record and the
// configuration, journalled, posted to the centre. The request stays in
// the runner for the Commit or Undo that settles it.
#include "runner/card_info.h"
#include "runner/journalled_operation.h"
#include "runner/runner.h"

namespace {

class PaymentOperation : public SetOperation<PaymentSet, JournalledOperation> {
 public:
  PaymentOperation(tavrelRunner& runner, PaymentSet& set) : SetOperation(runner, set) {}

  CmdCodes code() const override { return CMD_PAY_BONUS; }
  void onCardRecord(tavrelCardInfo& card) override { card.setPoints(0); }
  std::string openingText() const override {
    return "Запрос на списание/начисление бонусов по карте: ( ";
  }
  std::string formatText() const override {
    return "Ошибка формата команды для формирования запроса на списание/начисление бонусов";
  }
  int callProxy() override {
    return set().proxy->getPaymentProc(set().input.get(), set().output.get());
  }
  void addNoLinkMembers(Json::Value& reply) override {
    reply["MemberStatus"] = "00";
    reply["Status"] = "A";
  }

 protected:
  ChequeNumberSource chequeNumberSource() const override { return CHEQUE_FROM_ORDER; }
  bool completesCardFromRecord() const override { return true; }
};

class ReturnOperation : public SetOperation<RtrnSet, JournalledOperation> {
 public:
  ReturnOperation(tavrelRunner& runner, RtrnSet& set) : SetOperation(runner, set) {}

  CmdCodes code() const override { return CMD_PAY_RETURN; }
  std::string openingText() const override { return "Запрос на возврат бонусов по карте: ( "; }
  std::string formatText() const override {
    return "Ошибка формата команды для формирования запроса на возврат";
  }
  int callProxy() override {
    return set().proxy->getReturnProc(set().input.get(), set().output.get());
  }

 protected:
  bool completesCardFromRecord() const override { return true; }
};

}  // namespace

int tavrelRunner::runPaymentInfo(const Json::Value& block, Json::Value& reply, bool flag) {
  (void)flag;
  PaymentOperation op(*this, paymentSet);
  return runFrame(op, block, reply);
}

int tavrelRunner::runRtrnInfo(const Json::Value& block, Json::Value& reply, bool flag) {
  (void)flag;
  ReturnOperation op(*this, rtrnSet);
  return runFrame(op, block, reply);
}
