#include "interface/undo.h"

namespace interface {
namespace undo {

namespace {

const FamilyRules kUndo = {
    "Undo",
    "Undo",
    /*purchase=*/false,
    /*completes_prices=*/false,
    /*keeps_transact_id=*/false,
    /*reads_earlier=*/false,
};

}  // namespace

Undo_Input::Undo_Input() : SettleInput(kUndo) {}

void Undo_Input::putAmounts(Json::Value& object) const { putTotal(object, "sum", lineTotals(items()).bonus); }

Undo_Output::Undo_Output() : ResultOutput(kUndo.body_root) {}

Undo_Proxy::Undo_Proxy(WS_ctx* context) { ProxyInit(context); }

Undo_Proxy::~Undo_Proxy() = default;

int Undo_Proxy::getUndoProc(Undo_Input* input, Undo_Output* output) { return callService(input, output); }

}  // namespace undo
}  // namespace interface
