#include "interface/commits.h"

namespace interface {
namespace commits {

namespace {

const FamilyRules kCommit = {
    "Commit",
    "Commit",
    /*purchase=*/false,
    /*completes_prices=*/false,
    /*keeps_transact_id=*/false,
    /*reads_earlier=*/false,
};

}  // namespace

Commit_Input::Commit_Input() : SettleInput(kCommit) {}

void Commit_Input::putAmounts(Json::Value& object) const { putTotals(object, lineTotals(items())); }

Commit_Output::Commit_Output() : ResultOutput(kCommit.body_root) {}

Commit_Proxy::Commit_Proxy(WS_ctx* context) { ProxyInit(context); }

Commit_Proxy::~Commit_Proxy() = default;

int Commit_Proxy::getCommitProc(Commit_Input* input, Commit_Output* output) {
  return callService(input, output);
}

}  // namespace commits
}  // namespace interface
