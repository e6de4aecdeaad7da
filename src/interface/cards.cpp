#include "interface/cards.h"

#include <cmath>
#include <utility>

#include "util/convert.h"

namespace interface {
namespace cards {

namespace {

const char kRoot[] = "CardInfo";
const char kGsmPrefix[] = "gsm";
const std::size_t kGsmPrefixBytes = sizeof(kGsmPrefix) - 1;
const char kDefaultCardType[] = "b";
const char kQrTypeWithoutCode[] = "mf";
const char kQrTypeWithCode[] = "qr";

bool hasGsmPrefix(const std::string& text) {
  return text.compare(0, kGsmPrefixBytes, kGsmPrefix) == 0;
}

// The QR type the centre assumes when the POS names none.
const char* defaultQrType(const std::string& qr_code) {
  return qr_code.empty() ? kQrTypeWithoutCode : kQrTypeWithCode;
}

// One element of "Check" at its 1-based `position`.
std::unique_ptr<ui_OrderItem> readLine(const Json::Value& element, unsigned position) {
  std::unique_ptr<ui_OrderItem> line(new ui_OrderItem());
  line->intid = n2str(static_cast<long long>(position));
  readOptText("intid", element, &line->intid);
  readText("art", element, &line->art);
  readText("cnt", element, &line->cnt);
  readText("price", element, &line->price);
  line->sale_price = line->price;
  readText("sale_price", element, &line->sale_price);
  readText("title", element, &line->title);
  readText("sum", element, &line->sum);
  line->kind = readLineKind(element);
  if (line->kind == LINE_KIND_GSM && !hasGsmPrefix(line->art)) line->art = kGsmPrefix + line->art;
  return line;
}

// A number read from a line's text, 0 when it does not parse.
double amountOrZero(const std::string& text) {
  double value = 0;
  parseAmount(text, &value);
  return value;
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
  title.clear();
  cnt.clear();
  art.clear();
  sale_price.clear();
  price.clear();
  sum.clear();
}

ui_CardInfo::ui_CardInfo() { ws_default(nullptr); }

void ui_CardInfo::finalize() {
  id.reset();
  cardnum.clear();
  status.clear();
  card.clear();
  type.clear();
  discount.reset();
  reason_block.reset();
  tier_name.reset();
  max_score.reset();
  points.reset();
  sum_min.reset();
  sum_max.reset();
}

ui_DiscountItem::ui_DiscountItem() { ws_default(nullptr); }

void ui_DiscountItem::finalize() {
  title.reset();
  id.clear();
  discount.clear();
}

// ---- Card_Input ----

Card_Input::Card_Input() { Card_Input::ws_default(nullptr); }

void Card_Input::ws_default(WS_ctx* context) {
  product_base_default(context);
  cardnum.clear();
  card.clear();
  qr_code.clear();
  qr_type.clear();
  check_id.clear();
  check_num.clear();
  sum.clear();
  items.reset();
}

int Card_Input::readRequest(const Json::Value& block) {
  const Json::Value* request = memberObject(block, kRoot);
  if (request == nullptr) return WS_ERR_NO_BLOCK;

  cardnum.clear();
  readText("CardNum", *request, &cardnum);
  if (cardnum.empty()) return WS_ERR_NO_CARD;
  if (cardnum.size() > kCardNumMaxBytes) return WS_ERR_CARD_TOO_LONG;

  qr_code.clear();
  readText("qr_code", *request, &qr_code);
  qr_type.clear();
  readText("qr_type", *request, &qr_type);
  if (qr_type.empty()) qr_type = defaultQrType(qr_code);
  card.clear();
  readText("Card", *request, &card);
  check_id.clear();
  readText("CheckId", *request, &check_id);
  check_num.clear();
  readText("CheckNum", *request, &check_num);
  sum.clear();
  readText("sum", *request, &sum);

  std::unique_ptr<ui_OrderList> lines(new ui_OrderList());
  forEachObject(memberArray(*request, "Check"),
                [&lines](const Json::Value& element, unsigned position) {
                  lines->append(readLine(element, position));
                });
  items = std::move(lines);
  return 0;
}

Json::Value Card_Input::buildBody() {
  Json::Value info(Json::objectValue);
  info["cardnum"] = cardnum;
  info["qr_code"] = qr_code;
  info["qr_type"] = qr_type.empty() ? std::string(defaultQrType(qr_code)) : qr_type;

  if (items) {
    Json::Value& list = info["articul_list"] = Json::Value(Json::arrayValue);
    double total = 0;
    for (const auto& line : items->items) {
      if (!line) continue;
      Json::Value entry(Json::objectValue);
      putOptText(entry, "pos", line->intid);
      if (!line->art.empty()) literalMember(entry, "id") = productCode(line->art);
      putText(entry, "title", line->title);
      literalMember(entry, "flag_good") = flagGood(line->kind);
      putAmount(entry, "volume", line->cnt);
      putAmount(entry, "price", line->sale_price);
      putAmount(entry, "sum", line->sum);
      // A line without a usable sum is priced by count.
      double line_sum = 0;
      if (!parseAmount(line->sum, &line_sum)) {
        line_sum = amountOrZero(line->sale_price) * amountOrZero(line->cnt);
      }
      total += line_sum;
      list.append(std::move(entry));
    }
    // Amounts beyond any cheque can add up past the range of a double.
    if (total > 0 && std::isfinite(total)) info["sum"] = dbl2str(total, 2);
    if (!sum.empty()) info["sum"] = sum;
  }

  Json::Value body(Json::objectValue);
  body[kRoot] = std::move(info);
  return body;
}

// ---- Card_Output ----

Card_Output::Card_Output() { Card_Output::ws_default(nullptr); }

void Card_Output::ws_default(WS_ctx* context) {
  ws_base_default(context);
  articul.clear();
  status_letter.clear();
  cards.reset();
  discounts.reset();
}

int Card_Output::deserialize(const std::string& text) {
  Json::Value block;
  int rc = parseBlock(text, kRoot, &block);
  if (rc != 0) return rc;

  readText("articul", block, &articul);
  readText("err", block, &err);
  readText("errmsg", block, &errmsg);

  std::unique_ptr<ui_CardInfo> record(new ui_CardInfo());
  readText("status", block, &record->status);
  std::string upper = record->status;
  toUpper(upper);
  status_letter = firstCharacter(upper);
  record->type = kDefaultCardType;
  readText("type", block, &record->type);
  readOptText("sum_min", block, &record->sum_min);
  readOptText("sum_max", block, &record->sum_max);
  readOptText("sum_max", block, &record->points);
  readOptText("max_score", block, &record->max_score);
  std::unique_ptr<ui_CardInfo_List> records(new ui_CardInfo_List());
  records->append(std::move(record));
  cards = std::move(records);

  std::unique_ptr<ui_DiscountList> found(new ui_DiscountList());
  forEachObject(memberArray(block, "articul_discount"),
                [&found](const Json::Value& element, unsigned) {
                  std::string id;
                  readText("id", element, &id);
                  if (hasGsmPrefix(id)) id.erase(0, kGsmPrefixBytes);
                  if (id.empty()) return;
                  std::unique_ptr<ui_DiscountItem> item(new ui_DiscountItem());
                  item->id = id;
                  readText("discount", element, &item->discount);
                  found->append(std::move(item));
                });
  // An answer without a usable discount leaves none, not those of an
  // earlier answer.
  discounts.reset(found->empty() ? nullptr : found.release());
  return 0;
}

// ---- Card_Proxy ----

Card_Proxy::Card_Proxy(WS_ctx* context) { ProxyInit(context); }

Card_Proxy::~Card_Proxy() = default;

int Card_Proxy::getCardInfo(Card_Input* input, Card_Output* output) {
  int code = callService(input, output);
  if (code != 0 || !output->cards) return code;
  for (const auto& record : output->cards->items) {
    if (!record) continue;
    if (record->cardnum.empty()) record->cardnum = input->cardnum;
    if (record->card.empty()) record->card = input->card;
    break;
  }
  return code;
}

}  // namespace cards
}  // namespace interface
