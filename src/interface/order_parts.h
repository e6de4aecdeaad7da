// The order parts of the money families (payment, return, commit, undo) and
// what those families share: the nested objects that hold a purchase as the
// POS described it, the one reading of the POS member, the body rules, and
// JournalledInput, the input base through which the runner completes and
// journals every money operation.
//
// The four families name the nested classes as their own (payment::ui_Order,
// commits::ui_Order, ...): each class is defined once here and given those
// names by NORVALEN_ORDER_PART_NAMES in the family's header.
#ifndef NORVALEN_INTERFACE_ORDER_PARTS_H_
#define NORVALEN_INTERFACE_ORDER_PARTS_H_

#include <json/json.h>

#include <memory>
#include <string>

#include "interface/message_base.h"
#include "interface/message_fields.h"
#include "interface/product_input.h"
#include "util/ctext.h"

namespace interface {

// One purchase line, from one element of the POS "Check".
class ui_OrderItem : public ui_object_interface {
 public:
  ui_OrderItem();
  void ws_default(WS_ctx* ctx) override;
  void finalize() override;

  OptText intid;              // the 1-based position in "Check", or its "intid"
  std::string cnt;            // "cnt": the quantity
  std::string art;            // "art": the article code, as given
  OptText title;              // "title"
  std::string pay;            // "pay"; "MIX" when the POS gives none
  std::string points;         // "points": the bonus part of the line
  std::string base_price;     // "base_price": the price before the bonus
  std::string price;          // "price": the price after the bonus
  std::string sum;            // "sum"
  int kind = LINE_KIND_NONE;  // from "flag" (readLineKind)
  OptText payinfo;            // "payinfo"
};

class ui_OrderItem_List : public ui_object_list<ui_OrderItem> {};

// A cash-register transaction: the POS "Transact" of the purchase, or the
// "OrigTransact" of the sale that a return refers to.
class ui_Transaction : public ui_object_interface {
 public:
  ui_Transaction();
  void finalize() override;

  std::string trnum;      // "ID" (a payment keeps none here)
  OptText date_time;      // "DateTime" as YYYYMMDDhhmmss; none when not a valid date
  OptText shift;          // "shift"
  OptText shift_date;     // "ShiftDate", kept like date_time
  OptText oper_id;        // "operID"
  OptText oper_fio;       // "operFIO"
  std::string location;   // "Location": the station
  std::string terminal;   // "Terminal"
  std::string num_check;  // the cheque row number (see FamilyRules)
  OptText zakaz;          // the order UUID; the earlier sale has none
};

// The cheque: its numbers, lines and transaction.
class ui_Order : public ui_object_interface {
 public:
  ui_Order();
  void finalize() override;

  std::string trnum;                            // "CheckNum"; replaced by the transaction's "ID"
  std::string check_id;                         // "CheckId"
  OptText zakaz;                                // the order UUID
  std::unique_ptr<ui_OrderItem_List> items;     // null when "Check" is no array
  std::unique_ptr<ui_Transaction> transaction;  // null when "Transact" is no object
};

// The card and the cheque of one money request. The commit family lists
// these fields in another order; the order of fields is seen nowhere, so
// this one class serves all four families.
class ui_LOYMember : public ui_object_interface {
 public:
  ui_LOYMember();
  void finalize() override;

  std::string cardnum;  // "CardNum"
  OptText gscount;      // "GSCount"; "1" when the POS gives none
  std::string card;     // "Card"
  std::string qr_code;  // "qr_code"
  std::string qr_type;  // "qr_type"; no default while reading
  std::unique_ptr<ui_Order> order;
};

// The operation that a commit or an undo settles, by the POS command code
// of PayBonus and PayReturn.
enum {
  SETTLES_NOTHING = -1,
  SETTLES_PAYMENT = 3,
  SETTLES_RETURN = 4,
};

// What tells the money families apart in reading the POS member. Every
// family reads the card and the cheque alike: "CardNum" (27 when longer
// than kCardNumMaxBytes; absent is accepted), "Card", "Offline", "CheckId",
// "CheckNum", "GSCount". A purchase (payment, return) reads more:
// "qr_code", "qr_type", the lines of "Check" and the transaction of
// "Transact", whose row number is its "num_check", else the member's
// "num_check", else "1", and whose order UUID is made once here, from the
// values as read (no UUID without a location or a numeric "ID").
struct FamilyRules {
  const char* request_member;  // the member of the POS request block
  const char* body_root;       // the root member of the body and the answer
  bool purchase;
  bool completes_prices;   // payment lines: a missing price part derived
  bool keeps_transact_id;  // return: "ID" also kept as the transaction's trnum
  bool reads_earlier;      // return: "OrigTransact" (row number fallback
                           // "num_check_ret") into orig; none without it
};

// The input base of the four money families, and the one interface through
// which the runner fills in and journals a money operation, whichever it is.
//
// Texts come back as C strings pointing into this object: valid until the
// object or the part holding them changes; null when there is no such part
// or the text is empty.
class JournalledInput : public ProductCodeInput {
 public:
  // product_base_default, then no member, no orig, offline false.
  void ws_default(WS_ctx* ctx) override;
  // 3 when the block's member is absent, null or not an object; 27 for a
  // card number that is too long (nothing changes). Otherwise a new member
  // replaces `member` and 0 is returned.
  int readRequest(const Json::Value& block) override;

  std::unique_ptr<ui_LOYMember> member;  // the request as read
  std::unique_ptr<ui_Transaction> orig;  // the sale a return refers to
  bool offline = false;                  // POS "Offline"; the runner may set it

  // The order UUID: the transaction's when it has one, else the order's
  // (the same value the body sends); null without an order.
  const char* getOrderUuid() const;
  const char* getOrigOrderUuid() const;
  // The cheque row number of the transaction, or of the earlier one.
  const char* getCheckRownum() const;
  const char* getOrigCheckRownum() const;
  const char* getCardNum() const;
  const char* getQRCode() const;
  const char* getQRType() const;
  // The order's cheque number, or the transaction's id when that is empty.
  const char* getOrderNum() const;
  // The sum of the lines' "points" that parse, with two decimals, owned by
  // the caller; null without an order.
  CText getOrderSum() const;

  // What the journal row takes.
  bool hasOrder() const { return order() != nullptr; }
  bool hasTransaction() const { return transaction() != nullptr; }
  const char* getChequeNum() const;      // the order's cheque number alone
  const char* getTransactionId() const;  // the transaction's own "ID"
  const char* getDateTime() const;
  const char* getLocation() const;
  const char* getTerminal() const;
  const char* getShift() const;
  const char* getShiftDate() const;
  // The configured station or terminal, written into the transaction when
  // there is one whose own is empty; the order UUID stays as it was made.
  void completeLocation(const char* configured);
  void completeTerminal(const char* configured);
  // The operation settled (SETTLES_*) and the 14-digit time of a commit or
  // undo; SETTLES_NOTHING and null for a payment or a return.
  virtual int getOperType() const { return SETTLES_NOTHING; }
  virtual const char* getEventTime() const { return nullptr; }

 protected:
  explicit JournalledInput(const FamilyRules& rules);
  void journalled_default(WS_ctx* context);
  const ui_Order* order() const;
  const ui_Transaction* transaction() const;
  ui_Transaction* transaction();
  const ui_OrderItem_List* items() const;
  // The member's GSCount, "1" when there is none.
  std::string gsCount() const;

  // The body rules shared by the families:
  //   member and order - "cardnum" and "trnum" always, "qr_code" with
  //     "qr_type" ("qr" when empty) for a QR code, the order's "zakaz";
  //   the transaction block, when there is a transaction - "trnum" and
  //     "zakaz" of the transaction replacing the order's, "azs", "reader"
  //     ("1" without a terminal), "num_check", "shift_num", the shift and
  //     event dates as DD.MM.YYYY and hh:mm:ss, and with `earlier`
  //     "trnum_ret" and "num_check_ret";
  //   "articul_list" - the line objects, when there is a line list.
  void putMemberAndOrder(Json::Value& object) const;
  void putTransactionBlock(Json::Value& object, const ui_Transaction* earlier) const;
  void putLines(Json::Value& object) const;
  // The three together: the order part of a return, commit or undo body.
  void putOrderParts(Json::Value& object, const ui_Transaction* earlier) const;
  // {body_root: object}, taking the object over.
  Json::Value wrapBody(Json::Value&& object) const;

 private:
  void readPurchase(const Json::Value& request, ui_LOYMember* read);

  FamilyRules rules_;
};

// The input base of commit and undo, which settle the last payment or
// return. They read only the card and the cheque of their POS member; the
// runner copies the rest from the request it kept (runner/kept_copy.h).
// Their bodies differ only in the amounts.
class SettleInput : public JournalledInput {
 public:
  // journalled_default, then no event time and SETTLES_NOTHING.
  void ws_default(WS_ctx* ctx) override;

  std::string event_time;           // YYYYMMDDhhmmss of this operation; journalled, not sent
  int oper_type = SETTLES_NOTHING;  // the settled operation, set by the runner

  int getOperType() const override { return oper_type; }
  const char* getEventTime() const override;

 protected:
  explicit SettleInput(const FamilyRules& rules);
  // {root: {"ret": "pay" or "ret" for a settled payment or return (absent
  // for anything else), the order parts (with "trnum_ret" and
  // "num_check_ret" of the earlier sale only for a return), putAmounts}}.
  Json::Value buildBody() override;
  virtual void putAmounts(Json::Value& object) const = 0;
};

// Round(x): the C library's round of x * 100, divided by 100.
double roundCents(double x);

// The line totals: "sum" after the bonus, "sum_stella" before it,
// "sum_bonus" the difference, each the sum over the lines of Round(P * C),
// Round(B * C) and their difference (P price, B base price, C count; 0 for
// a text that does not parse).
struct LineTotals {
  double after = 0;
  double before = 0;
  double bonus = 0;
};
LineTotals lineTotals(const ui_OrderItem_List* items);
// The sum of the lines' "points" that parse (a payment's "sum").
double pointsTotal(const ui_OrderItem_List* items);
// "sum", "sum_stella", "sum_bonus".
void putTotals(Json::Value& object, const LineTotals& totals);
// The amount `value` with two decimals under `key`; left out when it is
// beyond the range of a double, so that the centre gets no made-up total.
void putTotal(Json::Value& object, const char* key, double value);

}  // namespace interface

// The names of the order parts inside a money family's namespace.
#define NORVALEN_ORDER_PART_NAMES                           \
  using ui_LOYMember = ::interface::ui_LOYMember;           \
  using ui_Order = ::interface::ui_Order;                   \
  using ui_OrderItem_List = ::interface::ui_OrderItem_List; \
  using ui_OrderItem = ::interface::ui_OrderItem;           \
  using ui_Transaction = ::interface::ui_Transaction;

#endif  // NORVALEN_INTERFACE_ORDER_PARTS_H_
