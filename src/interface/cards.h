// Card information: what a loyalty card (or the QR code that stands for one)
// is worth before a purchase. Card_Input reads the "CardInfo" member of the
// POS request block, with the cheque's purchase lines under "Check", and
// builds the body {"CardInfo": {...}}; Card_Output reads the centre's
// "CardInfo" answer (status, bonus amounts, blocked articles, per-article
// discounts); Card_Proxy::getCardInfo posts the body and completes the card
// record of the answer from the request.
//
// Lines whose flag marks them "gsm" travel with article codes that begin
// with "gsm": the input puts the prefix in front when the POS left it out,
// and the output takes it off the discount ids of the answer.
#ifndef NORVALEN_INTERFACE_CARDS_H_
#define NORVALEN_INTERFACE_CARDS_H_

#include <json/json.h>

#include <memory>
#include <string>

#include "interface/message_base.h"
#include "interface/message_fields.h"
#include "interface/product_input.h"

namespace interface {
namespace cards {

// One purchase line of the request, from one element of "Check".
class ui_OrderItem : public ui_object_interface {
 public:
  ui_OrderItem();
  void ws_default(WS_ctx* ctx) override;
  void finalize() override;

  OptText intid;           // the 1-based position in "Check", or its "intid"
  std::string title;       // "title"
  std::string cnt;         // "cnt": the quantity
  std::string art;         // "art": the article code ("gsm" in front for kind 1)
  std::string sale_price;  // "price", replaced by "sale_price" when given
  std::string price;       // "price"
  std::string sum;         // "sum"
  int kind = LINE_KIND_NONE;
};

class ui_OrderList : public ui_object_list<ui_OrderItem> {};

// One card record of the answer.
class ui_CardInfo : public ui_object_interface {
 public:
  ui_CardInfo();
  void finalize() override;

  OptText id;            // not in the answer
  std::string cardnum;   // completed from the request by the proxy
  std::string status;    // "status" as received
  std::string card;      // completed from the request by the proxy
  std::string type;      // "type"; "b" when the answer has none
  OptText discount;      // not in the answer
  OptText reason_block;  // not in the answer
  OptText tier_name;     // not in the answer
  OptText max_score;     // "max_score"
  OptText points;        // "sum_max": the bonus that may be written off
  OptText sum_min;       // "sum_min"
  OptText sum_max;       // "sum_max"
};

class ui_CardInfo_List : public ui_object_list<ui_CardInfo> {};

// One per-article discount of the answer.
class ui_DiscountItem : public ui_object_interface {
 public:
  ui_DiscountItem();
  void finalize() override;

  OptText title;         // not in the answer
  std::string id;        // the article code, without a leading "gsm"
  std::string discount;  // "discount"; empty when the answer has none
};

class ui_DiscountList : public ui_object_list<ui_DiscountItem> {};

class Card_Input : public ProductCodeInput {
 public:
  Card_Input();
  void ws_default(WS_ctx* ctx) override;
  // 3 when the block's "CardInfo" is absent, null or not an object; 25 when
  // its "CardNum" is absent or empty; 27 when that is longer than
  // kCardNumMaxBytes bytes. Otherwise the fields below are read, a new line
  // list replaces `items`, and 0 is returned. An element of "Check" that is
  // not an object gives no line but keeps its place in the numbering.
  int readRequest(const Json::Value& block) override;

  std::string cardnum;                  // "CardNum"; a number is read as its decimal text
  std::string card;                     // "Card"
  std::string qr_code;                  // "qr_code"
  std::string qr_type;                  // "qr_type"; else "mf" without a QR code, "qr" with one
  std::string check_id;                 // "CheckId"
  std::string check_num;                // "CheckNum"
  std::string sum;                      // "sum": when given, the body's "sum" unchanged
  std::unique_ptr<ui_OrderList> items;  // "Check"; every read leaves a list

 protected:
  // {"CardInfo": {"cardnum", "qr_code", "qr_type" always; with a line list
  // "articul_list" (one object per line) and "sum": the POS "sum" when
  // given, else the lines' total when it is above 0}}.
  Json::Value buildBody() override;
};

class Card_Output : public OutputInterfaces {
 public:
  Card_Output();
  void ws_default(WS_ctx* ctx) override;
  // The common answer steps with the root "CardInfo" (14, 5, 3), then
  // "articul", "err", "errmsg", one card record in a new `cards` list, and
  // the discounts of "articul_discount" (null when none is usable); 0.
  // `message` stays empty in this family.
  int deserialize(const std::string& text) override;
  using OutputInterfaces::deserialize;

  std::string articul;        // "articul": the blocked articles
  std::string status_letter;  // first character of the upper-cased "status"
  std::unique_ptr<ui_CardInfo_List> cards;
  std::unique_ptr<ui_DiscountList> discounts;
};

class Card_Proxy : public ProxyInterfaces {
 public:
  explicit Card_Proxy(WS_ctx* ctx);
  ~Card_Proxy() override;

  // The shared proxy call (13 without input or output, 20 without a URL,
  // then the attempts and the answer's code). On 0 the first card record
  // present takes the input's cardnum and card where its own are empty.
  virtual int getCardInfo(Card_Input* input, Card_Output* output);
};

}  // namespace cards
}  // namespace interface

#endif  // NORVALEN_INTERFACE_CARDS_H_
