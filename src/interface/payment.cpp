#include "interface/payment.h"

#include <utility>

namespace interface {
namespace payment {

namespace {

const FamilyRules kPayment = {
    "PayBonus",
    "PayBonus",
    /*purchase=*/true,
    /*completes_prices=*/true,
    /*keeps_transact_id=*/false,
    /*reads_earlier=*/false,
};

}  // namespace

Payment_Input::Payment_Input() : JournalledInput(kPayment) {}

Json::Value Payment_Input::buildBody() {
  Json::Value object(Json::objectValue);
  putMemberAndOrder(object);
  object["num_check"] = gsCount();
  if (const ui_Transaction* own = transaction()) {
    object["azs"] = own->location;
    putOptText(object, "zakaz", own->zakaz);
  }
  putLines(object);
  putTotal(object, "sum", pointsTotal(items()));
  return wrapBody(std::move(object));
}

Payment_Output::Payment_Output() : ResultOutput(kPayment.body_root) {}

Payment_Proxy::Payment_Proxy(WS_ctx* context) { ProxyInit(context); }

Payment_Proxy::~Payment_Proxy() = default;

int Payment_Proxy::getPaymentProc(Payment_Input* input, Payment_Output* output) {
  return callService(input, output);
}

}  // namespace payment
}  // namespace interface
