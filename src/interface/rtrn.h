// Bonus return: points given back (or taken back) when goods of an earlier
// purchase come back. Rtrn_Input reads the "PayReturn" member of the POS
// request block like a payment, but takes the lines as given, keeps the
// transaction's "ID" as its own, and reads the sale it refers to from
// "OrigTransact". The body and the answer have the root "Return".
#ifndef NORVALEN_INTERFACE_RTRN_H_
#define NORVALEN_INTERFACE_RTRN_H_

#include <json/json.h>

#include "interface/message_base.h"
#include "interface/order_parts.h"

namespace interface {
namespace rtrn {

NORVALEN_ORDER_PART_NAMES

class Rtrn_Input : public JournalledInput {
 public:
  Rtrn_Input();

 protected:
  // {"Return": {the member and order, the transaction block with
  // "trnum_ret" and "num_check_ret" of the earlier sale, "articul_list",
  // and the totals "sum", "sum_stella", "sum_bonus"}} (order_parts.h).
  Json::Value buildBody() override;
};

class Rtrn_Output : public ResultOutput {
 public:
  Rtrn_Output();
};

class Rtrn_Proxy : public ProxyInterfaces {
 public:
  explicit Rtrn_Proxy(WS_ctx* ctx);
  ~Rtrn_Proxy() override;

  // The shared proxy call (message_base.h).
  virtual int getReturnProc(Rtrn_Input* input, Rtrn_Output* output);
};

}  // namespace rtrn
}  // namespace interface

#endif  // NORVALEN_INTERFACE_RTRN_H_
