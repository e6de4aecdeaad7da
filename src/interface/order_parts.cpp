#include "interface/order_parts.h"

#include <cmath>
#include <cstdlib>
#include <utility>

#include "util/convert.h"
#include "util/datetime.h"
#include "util/oid.h"
#include "util/text_field.h"

namespace interface {

namespace {

const char kDefaultGsCount[] = "1";
const char kDefaultRownum[] = "1";
const char kDefaultPay[] = "MIX";
const char kDefaultQrType[] = "qr";
const char kDefaultReader[] = "1";

// The optional text, or null when there is none or it is empty.
const char* optOrNull(const OptText& text) { return text ? TextOrNull(*text) : nullptr; }

// A line key whose source is an optional text: only when it says something.
void putNonEmpty(Json::Value& object, const char* key, const OptText& text) {
  if (text) putText(object, key, *text);
}

// A number from a line's text; 0 when it does not parse.
double amountOrZero(const std::string& text) {
  double value = 0;
  parseAmount(text, &value);
  return value;
}

// A POS date and time as the journal keeps it, YYYYMMDDhhmmss; none when the
// text is no valid date and time.
OptText readDateTime(const char* name, const Json::Value& object) {
  std::string text;
  readText(name, object, &text);
  const _datetime::dateTime value(text);
  if (!value.valid()) return OptText();
  return value.get_datetime_str();
}

// A kept date and time as the centre reads it: DD.MM.YYYY under `date_key`
// and hh:mm:ss under `time_key`; neither when it is not valid.
void putDateAndTime(Json::Value& object, const char* date_key, const char* time_key, const OptText& kept) {
  if (!kept) return;
  _datetime::dateTime value(*kept);
  if (!value.valid()) return;
  value.getDate().set_dateFmt(_datetime::DMY);
  value.getDate().set_dateSep(".");
  value.getTime().set_timeSep(":");
  const CText date = value.getDate().show_date();
  const CText time = value.getTime().show_time();
  if (date.isNull() || time.isNull()) return;
  object[date_key] = date.str();
  object[time_key] = time.str();
}

// The UUID that names the cheque towards the centre. None when no key can
// be made (no station, a transaction id that is no number) or when the UUID
// library cannot allocate: the request then goes without one.
OptText orderUuid(const std::string& location, const std::string& id, const std::string& rownum) {
  char* key = get_oid_strkey(location, id, rownum);
  if (key == nullptr) return OptText();
  OptText uuid;
  try {
    char* text = mk_uuid_v3(key);
    if (text != nullptr) {
      uuid = std::string(text);
      std::free(text);
    }
  } catch (...) {
    uuid.reset();
  }
  std::free(key);
  return uuid;
}

// A price part of a payment line: its value, and whether the POS gave one
// (a text that is empty or does not parse counts as 0 and as missing).
struct PricePart {
  double value = 0;
  bool given = false;
};

PricePart pricePart(const std::string& text) {
  PricePart part;
  part.given = parseAmount(text, &part.value);
  return part;
}

// A derived part is written only when it is a number: parts too large for
// any sum leave the line as read.
void putDerived(std::string* target, double value) {
  if (std::isfinite(value)) *target = dbl2str(value, 2);
}

// The price after the bonus, the price before it and the bonus of a line
// are tied by count * base_price - points = count * price; the POS may send
// any two, and the one missing is derived here. A count of 0 keeps the price
// it has.
void completePrices(ui_OrderItem& line) {
  const PricePart base = pricePart(line.base_price);
  const PricePart price = pricePart(line.price);
  const PricePart points = pricePart(line.points);
  const double count = amountOrZero(line.cnt);
  if (base.given && !price.given) {
    double derived = base.value;
    if (count != 0) derived = roundCents((count * base.value - points.value) / count);
    putDerived(&line.price, derived);
  } else if (price.given && !base.given) {
    double derived = price.value;
    if (count != 0) derived = roundCents((count * price.value + points.value) / count);
    putDerived(&line.base_price, derived);
  } else if (base.given && price.given && !points.given) {
    double derived = 0;
    if (base.value != price.value) derived = roundCents(count * base.value - count * price.value);
    putDerived(&line.points, derived);
  }
}

// One element of "Check" at its 1-based `position`.
std::unique_ptr<ui_OrderItem> readLine(const Json::Value& element, unsigned position) {
  std::unique_ptr<ui_OrderItem> line(new ui_OrderItem());
  line->intid = n2str(static_cast<long long>(position));
  readOptText("intid", element, &line->intid);
  readText("cnt", element, &line->cnt);
  readText("art", element, &line->art);
  readOptText("title", element, &line->title);
  line->pay = kDefaultPay;
  readText("pay", element, &line->pay);
  readText("points", element, &line->points);
  readText("base_price", element, &line->base_price);
  readText("price", element, &line->price);
  readText("sum", element, &line->sum);
  line->kind = readLineKind(element);
  readOptText("payinfo", element, &line->payinfo);
  return line;
}

// A "Transact" or "OrigTransact" object without its UUID; `rownum` is the
// row number when the object has none of its own.
std::unique_ptr<ui_Transaction> readTransaction(const Json::Value& object, const std::string& rownum) {
  std::unique_ptr<ui_Transaction> transaction(new ui_Transaction());
  readText("ID", object, &transaction->trnum);
  transaction->date_time = readDateTime("DateTime", object);
  readText("Location", object, &transaction->location);
  readOptText("shift", object, &transaction->shift);
  transaction->shift_date = readDateTime("ShiftDate", object);
  readOptText("operID", object, &transaction->oper_id);
  readOptText("operFIO", object, &transaction->oper_fio);
  readText("Terminal", object, &transaction->terminal);
  transaction->num_check = rownum;
  readText("num_check", object, &transaction->num_check);
  return transaction;
}

}  // namespace

// ---- Nested objects ----

ui_OrderItem::ui_OrderItem() { ws_default(nullptr); }

void ui_OrderItem::ws_default(WS_ctx* context) {
  ui_object_Init(context);
  finalize();
  kind = LINE_KIND_NONE;
}

void ui_OrderItem::finalize() {
  intid.reset();
  cnt.clear();
  art.clear();
  title.reset();
  pay.clear();
  points.clear();
  base_price.clear();
  price.clear();
  sum.clear();
  payinfo.reset();
}

ui_Transaction::ui_Transaction() { ws_default(nullptr); }

void ui_Transaction::finalize() {
  trnum.clear();
  date_time.reset();
  shift.reset();
  shift_date.reset();
  oper_id.reset();
  oper_fio.reset();
  location.clear();
  terminal.clear();
  num_check.clear();
  zakaz.reset();
}

ui_Order::ui_Order() { ws_default(nullptr); }

void ui_Order::finalize() {
  trnum.clear();
  check_id.clear();
  zakaz.reset();
  items.reset();
  transaction.reset();
}

ui_LOYMember::ui_LOYMember() { ws_default(nullptr); }

void ui_LOYMember::finalize() {
  cardnum.clear();
  gscount.reset();
  card.clear();
  qr_code.clear();
  qr_type.clear();
  order.reset();
}

// ---- Reading ----

JournalledInput::JournalledInput(const FamilyRules& rules) : rules_(rules) {
  JournalledInput::ws_default(nullptr);
}

void JournalledInput::ws_default(WS_ctx* context) { journalled_default(context); }

void JournalledInput::journalled_default(WS_ctx* context) {
  product_base_default(context);
  member.reset();
  orig.reset();
  offline = false;
}

int JournalledInput::readRequest(const Json::Value& block) {
  const Json::Value* request = memberObject(block, rules_.request_member);
  if (request == nullptr) return WS_ERR_NO_BLOCK;

  std::unique_ptr<ui_LOYMember> read(new ui_LOYMember());
  readText("CardNum", *request, &read->cardnum);
  if (read->cardnum.size() > kCardNumMaxBytes) return WS_ERR_CARD_TOO_LONG;
  readText("Card", *request, &read->card);
  offline = false;
  readFlag("Offline", *request, &offline);
  read->gscount = std::string(kDefaultGsCount);
  readOptText("GSCount", *request, &read->gscount);
  read->order.reset(new ui_Order());
  readText("CheckId", *request, &read->order->check_id);
  readText("CheckNum", *request, &read->order->trnum);
  if (rules_.purchase) readPurchase(*request, read.get());
  member = std::move(read);
  return 0;
}

void JournalledInput::readPurchase(const Json::Value& request, ui_LOYMember* read) {
  ui_Order& order = *read->order;
  readText("qr_code", request, &read->qr_code);
  readText("qr_type", request, &read->qr_type);
  std::string rownum = kDefaultRownum;
  readText("num_check", request, &rownum);
  std::string earlier_rownum = kDefaultRownum;
  readText("num_check_ret", request, &earlier_rownum);

  if (const Json::Value* check = memberArray(request, "Check")) {
    order.items.reset(new ui_OrderItem_List());
    forEachObject(check, [this, &order](const Json::Value& element, unsigned position) {
      std::unique_ptr<ui_OrderItem> line = readLine(element, position);
      if (rules_.completes_prices) completePrices(*line);
      order.items->append(std::move(line));
    });
  }

  if (const Json::Value* transact = memberObject(request, "Transact")) {
    std::unique_ptr<ui_Transaction> transaction = readTransaction(*transact, rownum);
    if (!transaction->trnum.empty()) order.trnum = transaction->trnum;
    // Made here, once, from the values as the POS sent them: a station or
    // terminal the runner fills in later must not change the cheque's name.
    transaction->zakaz = orderUuid(transaction->location, transaction->trnum, transaction->num_check);
    order.zakaz = transaction->zakaz;
    if (!rules_.keeps_transact_id) transaction->trnum.clear();
    order.transaction = std::move(transaction);
  }

  if (rules_.reads_earlier) {
    const Json::Value* earlier = memberObject(request, "OrigTransact");
    orig = earlier != nullptr ? readTransaction(*earlier, earlier_rownum) : nullptr;
  }
}

// ---- The parts and the journal view ----

const ui_Order* JournalledInput::order() const { return member ? member->order.get() : nullptr; }

const ui_Transaction* JournalledInput::transaction() const {
  const ui_Order* cheque = order();
  return cheque != nullptr ? cheque->transaction.get() : nullptr;
}

ui_Transaction* JournalledInput::transaction() {
  return member && member->order ? member->order->transaction.get() : nullptr;
}

const ui_OrderItem_List* JournalledInput::items() const {
  const ui_Order* cheque = order();
  return cheque != nullptr ? cheque->items.get() : nullptr;
}

std::string JournalledInput::gsCount() const {
  return member && member->gscount ? *member->gscount : std::string(kDefaultGsCount);
}

const char* JournalledInput::getOrderUuid() const {
  const ui_Transaction* own = transaction();
  if (own != nullptr && own->zakaz) return optOrNull(own->zakaz);
  const ui_Order* cheque = order();
  return cheque != nullptr ? optOrNull(cheque->zakaz) : nullptr;
}

const char* JournalledInput::getOrigOrderUuid() const { return orig ? optOrNull(orig->zakaz) : nullptr; }

const char* JournalledInput::getCheckRownum() const {
  const ui_Transaction* own = transaction();
  return own != nullptr ? TextOrNull(own->num_check) : nullptr;
}

const char* JournalledInput::getOrigCheckRownum() const {
  return orig ? TextOrNull(orig->num_check) : nullptr;
}

const char* JournalledInput::getCardNum() const { return member ? TextOrNull(member->cardnum) : nullptr; }

const char* JournalledInput::getQRCode() const { return member ? TextOrNull(member->qr_code) : nullptr; }

const char* JournalledInput::getQRType() const { return member ? TextOrNull(member->qr_type) : nullptr; }

const char* JournalledInput::getOrderNum() const {
  const char* cheque = getChequeNum();
  return cheque != nullptr ? cheque : getTransactionId();
}

CText JournalledInput::getOrderSum() const {
  if (order() == nullptr) return CText();
  const double total = pointsTotal(items());
  if (!std::isfinite(total)) return CText();
  return CText(dbl2str(total, 2));
}

const char* JournalledInput::getChequeNum() const {
  const ui_Order* cheque = order();
  return cheque != nullptr ? TextOrNull(cheque->trnum) : nullptr;
}

const char* JournalledInput::getTransactionId() const {
  const ui_Transaction* own = transaction();
  return own != nullptr ? TextOrNull(own->trnum) : nullptr;
}

const char* JournalledInput::getDateTime() const {
  const ui_Transaction* own = transaction();
  return own != nullptr ? optOrNull(own->date_time) : nullptr;
}

const char* JournalledInput::getLocation() const {
  const ui_Transaction* own = transaction();
  return own != nullptr ? TextOrNull(own->location) : nullptr;
}

const char* JournalledInput::getTerminal() const {
  const ui_Transaction* own = transaction();
  return own != nullptr ? TextOrNull(own->terminal) : nullptr;
}

const char* JournalledInput::getShift() const {
  const ui_Transaction* own = transaction();
  return own != nullptr ? optOrNull(own->shift) : nullptr;
}

const char* JournalledInput::getShiftDate() const {
  const ui_Transaction* own = transaction();
  return own != nullptr ? optOrNull(own->shift_date) : nullptr;
}

void JournalledInput::completeLocation(const char* configured) {
  ui_Transaction* own = transaction();
  if (own != nullptr && own->location.empty() && configured != nullptr) own->location = configured;
}

void JournalledInput::completeTerminal(const char* configured) {
  ui_Transaction* own = transaction();
  if (own != nullptr && own->terminal.empty() && configured != nullptr) own->terminal = configured;
}

// ---- Body rules ----

void JournalledInput::putMemberAndOrder(Json::Value& object) const {
  const ui_Order* cheque = order();
  object["cardnum"] = member ? member->cardnum : std::string();
  object["trnum"] = cheque != nullptr ? cheque->trnum : std::string();
  if (member && !member->qr_code.empty()) {
    object["qr_code"] = member->qr_code;
    object["qr_type"] = member->qr_type.empty() ? std::string(kDefaultQrType) : member->qr_type;
  }
  if (cheque != nullptr) putOptText(object, "zakaz", cheque->zakaz);
}

void JournalledInput::putTransactionBlock(Json::Value& object, const ui_Transaction* earlier) const {
  const ui_Transaction* own = transaction();
  if (own == nullptr) return;
  putText(object, "trnum", own->trnum);
  object["azs"] = own->location;
  object["reader"] = own->terminal.empty() ? std::string(kDefaultReader) : own->terminal;
  putOptText(object, "zakaz", own->zakaz);
  object["num_check"] = own->num_check;
  putOptText(object, "shift_num", own->shift);
  putDateAndTime(object, "shift_date", "shift_time", own->shift_date);
  putDateAndTime(object, "event_date", "event_time", own->date_time);
  if (earlier != nullptr) {
    object["trnum_ret"] = earlier->trnum;
    object["num_check_ret"] = earlier->num_check;
  }
}

void JournalledInput::putLines(Json::Value& object) const {
  const ui_OrderItem_List* lines = items();
  if (lines == nullptr) return;
  Json::Value& list = object["articul_list"] = Json::Value(Json::arrayValue);
  for (const auto& line : lines->items) {
    if (!line) continue;
    Json::Value entry(Json::objectValue);
    putNonEmpty(entry, "pos", line->intid);
    if (!line->art.empty()) literalMember(entry, "id") = productCode(line->art);
    putNonEmpty(entry, "title", line->title);
    literalMember(entry, "flag_good") = flagGood(line->kind);
    putAmount(entry, "volume", line->cnt);
    putAmount(entry, "price_after", line->price);
    putAmount(entry, "price", line->base_price);
    list.append(std::move(entry));
  }
}

void JournalledInput::putOrderParts(Json::Value& object, const ui_Transaction* earlier) const {
  putMemberAndOrder(object);
  putTransactionBlock(object, earlier);
  putLines(object);
}

Json::Value JournalledInput::wrapBody(Json::Value&& object) const {
  Json::Value body(Json::objectValue);
  body[rules_.body_root] = std::move(object);
  return body;
}

// ---- Commit and undo ----

SettleInput::SettleInput(const FamilyRules& rules) : JournalledInput(rules) {
  SettleInput::ws_default(nullptr);
}

void SettleInput::ws_default(WS_ctx* context) {
  journalled_default(context);
  event_time.clear();
  oper_type = SETTLES_NOTHING;
}

const char* SettleInput::getEventTime() const { return TextOrNull(event_time); }

Json::Value SettleInput::buildBody() {
  Json::Value object(Json::objectValue);
  if (oper_type == SETTLES_PAYMENT) object["ret"] = "pay";
  if (oper_type == SETTLES_RETURN) object["ret"] = "ret";
  putOrderParts(object, oper_type == SETTLES_RETURN ? orig.get() : nullptr);
  putAmounts(object);
  return wrapBody(std::move(object));
}

// ---- Amounts ----

double roundCents(double x) {
  // Adding 0 turns a negative zero into 0, so no "-0.00" reaches the centre.
  return std::round(x * 100) / 100 + 0.0;
}

LineTotals lineTotals(const ui_OrderItem_List* items) {
  LineTotals totals;
  if (items == nullptr) return totals;
  for (const auto& line : items->items) {
    if (!line) continue;
    const double count = amountOrZero(line->cnt);
    const double after = roundCents(amountOrZero(line->price) * count);
    const double before = roundCents(amountOrZero(line->base_price) * count);
    totals.after += after;
    totals.before += before;
    totals.bonus += before - after;
  }
  return totals;
}

double pointsTotal(const ui_OrderItem_List* items) {
  double total = 0;
  if (items == nullptr) return total;
  for (const auto& line : items->items) {
    if (line) total += amountOrZero(line->points);
  }
  return total;
}

void putTotal(Json::Value& object, const char* key, double value) {
  if (std::isfinite(value)) object[key] = dbl2str(value, 2);
}

void putTotals(Json::Value& object, const LineTotals& totals) {
  putTotal(object, "sum", totals.after);
  putTotal(object, "sum_stella", totals.before);
  putTotal(object, "sum_bonus", totals.bonus);
}

}  // namespace interface
