#include "interface/rtrn.h"

#include <utility>

namespace interface {
namespace rtrn {

namespace {

const FamilyRules kReturn = {
    "PayReturn",
    "Return",
    /*purchase=*/true,
    /*completes_prices=*/false,
    /*keeps_transact_id=*/true,
    /*reads_earlier=*/true,
};

}  // namespace

Rtrn_Input::Rtrn_Input() : JournalledInput(kReturn) {}

Json::Value Rtrn_Input::buildBody() {
  Json::Value object(Json::objectValue);
  putOrderParts(object, orig.get());
  putTotals(object, lineTotals(items()));
  return wrapBody(std::move(object));
}

Rtrn_Output::Rtrn_Output() : ResultOutput(kReturn.body_root) {}

Rtrn_Proxy::Rtrn_Proxy(WS_ctx* context) { ProxyInit(context); }

Rtrn_Proxy::~Rtrn_Proxy() = default;

int Rtrn_Proxy::getReturnProc(Rtrn_Input* input, Rtrn_Output* output) { return callService(input, output); }

}  // namespace rtrn
}  // namespace interface
