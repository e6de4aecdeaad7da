// Bonus payment: points written off (or accrued) for a purchase.
// Payment_Input reads the "PayBonus" member of the POS request block: the
// card, the cheque, its purchase lines, whose missing price part is derived
// from the other two, and its transaction with the order UUID. Its body is
// {"PayBonus": {...}}; Payment_Output reads the "err", "errmsg" and
// "message" of the centre's "PayBonus" answer; Payment_Proxy::getPaymentProc
// posts the body.
#ifndef NORVALEN_INTERFACE_PAYMENT_H_
#define NORVALEN_INTERFACE_PAYMENT_H_

#include <json/json.h>

#include "interface/message_base.h"
#include "interface/order_parts.h"

namespace interface {
namespace payment {

NORVALEN_ORDER_PART_NAMES

class Payment_Input : public JournalledInput {
 public:
  Payment_Input();

 protected:
  // {"PayBonus": {"cardnum", "trnum", "num_check" (GSCount, "1" without),
  // "qr_code" with "qr_type" for a QR code, "zakaz" (the transaction's,
  // else the order's), "azs" with a transaction, "articul_list" with lines,
  // "sum": the lines' points}}.
  Json::Value buildBody() override;
};

class Payment_Output : public ResultOutput {
 public:
  Payment_Output();
};

class Payment_Proxy : public ProxyInterfaces {
 public:
  explicit Payment_Proxy(WS_ctx* ctx);
  ~Payment_Proxy() override;

  // The shared proxy call (message_base.h).
  virtual int getPaymentProc(Payment_Input* input, Payment_Output* output);
};

}  // namespace payment
}  // namespace interface

#endif  // NORVALEN_INTERFACE_PAYMENT_H_
