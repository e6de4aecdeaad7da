// Commit: the POS confirms the last bonus payment or return. Commit_Input
// reads the card and the cheque of the "Commit" member of the POS request
// block; the runner sets what is settled and when, and copies the rest from
// the request it kept. The body and the answer have the root "Commit".
#ifndef NORVALEN_INTERFACE_COMMITS_H_
#define NORVALEN_INTERFACE_COMMITS_H_

#include <json/json.h>

#include "interface/message_base.h"
#include "interface/order_parts.h"

namespace interface {
namespace commits {

NORVALEN_ORDER_PART_NAMES

class Commit_Input : public SettleInput {
 public:
  Commit_Input();

 protected:
  // The totals "sum", "sum_stella" and "sum_bonus" of the lines.
  void putAmounts(Json::Value& object) const override;
};

class Commit_Output : public ResultOutput {
 public:
  Commit_Output();
};

class Commit_Proxy : public ProxyInterfaces {
 public:
  explicit Commit_Proxy(WS_ctx* ctx);
  ~Commit_Proxy() override;

  // The shared proxy call (message_base.h).
  virtual int getCommitProc(Commit_Input* input, Commit_Output* output);
};

}  // namespace commits
}  // namespace interface

#endif  // NORVALEN_INTERFACE_COMMITS_H_
