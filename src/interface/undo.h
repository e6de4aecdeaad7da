// Undo: the POS cancels the last bonus payment or return. Undo_Input reads
// like a commit, from the "Undo" member of the POS request block, and its
// body carries the bonus part of the lines as its one amount. The body and
// the answer have the root "Undo".
#ifndef NORVALEN_INTERFACE_UNDO_H_
#define NORVALEN_INTERFACE_UNDO_H_

#include <json/json.h>

#include "interface/message_base.h"
#include "interface/order_parts.h"

namespace interface {
namespace undo {

NORVALEN_ORDER_PART_NAMES

class Undo_Input : public SettleInput {
 public:
  Undo_Input();

 protected:
  // "sum": the bonus total of the lines (sum_bonus of LineTotals).
  void putAmounts(Json::Value& object) const override;
};

class Undo_Output : public ResultOutput {
 public:
  Undo_Output();
};

class Undo_Proxy : public ProxyInterfaces {
 public:
  explicit Undo_Proxy(WS_ctx* ctx);
  ~Undo_Proxy() override;

  // The shared proxy call (message_base.h).
  virtual int getUndoProc(Undo_Input* input, Undo_Output* output);
};

}  // namespace undo
}  // namespace interface

#endif  // NORVALEN_INTERFACE_UNDO_H_
