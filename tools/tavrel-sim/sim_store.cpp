#include "sim_store.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <set>
#include <utility>

#include "sim_amount.h"
#include "sim_json.h"
#include "util/json_value.h"

namespace sim {

namespace {

// A cards or state file larger than this is refused at start.
constexpr size_t kMaxFileBytes = 16 * 1024 * 1024;

// The store's refusals: the "err" code and the operator's text.
struct Refusal {
  const char* err;
  const char* text;
};
const Refusal kBadRequest = {"1", "Неверный формат запроса"};
const Refusal kNoCard = {"2", "Карта не найдена"};
const Refusal kCardBlocked = {"3", "Карта заблокирована"};
const Refusal kNotEnough = {"4", "Недостаточно бонусов: доступно "};
const Refusal kNoOrder = {"5", "Операция не найдена"};
const Refusal kCommitted = {"6", "Операция уже подтверждена"};
const Refusal kBadSum = {"7", "Неверная сумма"};
const Refusal kNoOrderId = {"8", "Не указан номер заказа"};
const Refusal kOtherCard = {"9", "Заказ оформлен на другую карту"};
const Refusal kTooMany = {"10", "Слишком много незавершённых операций"};
const Refusal kNotSaved = {"11", "Ошибка сохранения состояния"};

// Reads the text member `name` of `block` into *out ("" when absent or
// null); false when it is there but not a string.
bool textMember(const Json::Value& block, const char* name, std::string* out) {
  const Json::Value& v = memberOf(block, name);
  out->clear();
  if (v.isNull()) return true;
  if (!v.isString()) return false;
  *out = v.asString();
  return true;
}

}  // namespace

struct CardStore::Outcome {
  std::string err = "0";
  std::string errmsg;
  std::string message;
  Json::Value card_members = Json::Value(Json::objectValue);

  static Outcome refused(const Refusal& r, const std::string& more = "") {
    Outcome o;
    o.err = r.err;
    o.errmsg = std::string(r.text) + more;
    return o;
  }
  static Outcome done(const std::string& message) {
    Outcome o;
    o.message = message;
    return o;
  }
};

namespace {

// The order a request is about: its "zakaz", else "#" and its "trnum".
// Returns the refusal to give, or nullptr with *id set.
const Refusal* orderIdOf(const Json::Value& block, std::string* id) {
  std::string zakaz, trnum;
  if (!textMember(block, "zakaz", &zakaz) || !textMember(block, "trnum", &trnum)) {
    return &kBadRequest;
  }
  if (!zakaz.empty()) {
    *id = zakaz;
  } else if (!trnum.empty()) {
    *id = "#" + trnum;
  } else {
    return &kNoOrderId;
  }
  return validOrderId(*id) ? nullptr : &kBadRequest;
}

}  // namespace

bool CardStore::open(const std::string& cards_path, const std::string& state_path,
                     std::string* error) {
  Json::Value value;
  std::string why;
  std::vector<Card> cards;
  if (!readJsonFile(cards_path, kMaxFileBytes, &value, &why) || !parseCards(value, &cards, &why)) {
    *error = "cards \"" + cards_path + "\": " + why;
    return false;
  }
  std::lock_guard<std::mutex> lock(mu_);
  cards_.clear();
  state_ = StoreState();
  for (const Card& card : cards) {
    cards_[card.number] = card;
    state_.balances[card.number] = card.balance;
  }
  state_path_ = state_path;
  if (state_path_.empty()) return true;

  struct stat st;
  if (::stat(state_path_.c_str(), &st) == 0 || errno != ENOENT) {
    StoreState saved;
    if (!readJsonFile(state_path_, kMaxFileBytes, &value, &why) ||
        !stateFromJson(value, &saved, &why)) {
      *error = "state \"" + state_path_ + "\": " + why;
      return false;
    }
    // The cards file is the list of cards: what the state says of cards
    // that are no longer in it is dropped.
    for (const auto& b : saved.balances) {
      if (cards_.count(b.first) != 0) state_.balances[b.first] = b.second;
    }
    for (const auto& entry : saved.orders) {
      if (cards_.count(entry.second.card) != 0) state_.orders.insert(entry);
    }
    state_.next_seq = saved.next_seq;
  }
  if (!writeFileAtomically(state_path_, JsonOut(stateToJson(state_), true), &why)) {
    *error = "state \"" + state_path_ + "\": " + why;
    return false;
  }
  return true;
}

bool CardStore::answers(const std::string& root) {
  return root == "CardInfo" || root == "PayBonus" || root == "Return" || root == "Commit" ||
         root == "Undo";
}

Json::Value CardStore::answer(const std::string& root, const Json::Value& request) {
  const Json::Value& block = memberOf(request, root.c_str());
  Outcome outcome;
  if (!block.isObject()) {
    outcome = Outcome::refused(kBadRequest);
  } else {
    std::lock_guard<std::mutex> lock(mu_);
    if (root == "CardInfo") {
      outcome = cardInfo(block);
    } else if (root == "PayBonus") {
      outcome = reserve("pay", block);
    } else if (root == "Return") {
      outcome = reserve("ret", block);
    } else {
      outcome = settle(root == "Commit", block);
    }
  }
  Json::Value inner = outcome.card_members;
  inner["err"] = outcome.err;
  inner["errmsg"] = outcome.errmsg;
  inner["message"] = outcome.message;
  Json::Value answer(Json::objectValue);
  answer["err"] = outcome.err;
  answer["errmsg"] = outcome.errmsg;
  answer[root] = inner;
  return answer;
}

CardStore::Outcome CardStore::cardInfo(const Json::Value& block) {
  std::string number;
  if (!textMember(block, "cardnum", &number)) return Outcome::refused(kBadRequest);
  auto it = cards_.find(number);
  if (it == cards_.end()) return Outcome::refused(kNoCard);
  const Card& card = it->second;

  Outcome o = card.blocked() ? Outcome::refused(kCardBlocked) : Outcome();
  Json::Value& m = o.card_members;
  m["status"] = card.status;
  m["type"] = card.type;
  m["sum_min"] = formatAmount(card.sum_min);
  m["sum_max"] = formatAmount(card.blocked() ? 0 : available(card));
  m["max_score"] = formatAmount(card.max_score);

  // Blocked articles among the purchase lines (each once, in the order of
  // the lines), or all of the card's without lines; discounts per line.
  std::string articul;
  Json::Value discounts(Json::arrayValue);
  const Json::Value& lines = memberOf(block, "articul_list");
  if (lines.isArray()) {
    std::set<std::string> blocked(card.blocked_articles.begin(), card.blocked_articles.end());
    std::set<std::string> named;
    for (const Json::Value& line : lines) {
      const Json::Value& id = memberOf(line, "id");
      if (!id.isString() || id.asString().empty()) continue;
      const std::string article = id.asString();
      if (blocked.count(article) != 0 && named.insert(article).second) {
        if (!articul.empty()) articul.push_back(',');
        articul += article;
      }
      auto d = card.discounts.find(article);
      if (d != card.discounts.end()) {
        Json::Value item(Json::objectValue);
        item["id"] = article;
        item["discount"] = formatAmount(d->second);
        discounts.append(item);
      }
    }
  } else {
    for (const std::string& article : card.blocked_articles) {
      if (!articul.empty()) articul.push_back(',');
      articul += article;
    }
  }
  m["articul"] = articul;
  m["articul_discount"] = discounts;
  return o;
}

CardStore::Outcome CardStore::reserve(const std::string& kind, const Json::Value& block) {
  const bool pay = kind == "pay";
  std::string number;
  if (!textMember(block, "cardnum", &number)) return Outcome::refused(kBadRequest);
  std::string id;
  if (const Refusal* r = orderIdOf(block, &id)) return Outcome::refused(*r);
  auto it = cards_.find(number);
  if (it == cards_.end()) return Outcome::refused(kNoCard);
  const Card& card = it->second;
  if (card.blocked()) return Outcome::refused(kCardBlocked);

  const std::string key = orderKey(kind, id);
  const char* const done_text = pay ? "Зарезервировано к списанию: " : "Зарезервировано к возврату: ";
  auto known = state_.orders.find(key);
  if (known != state_.orders.end() && known->second.state != OrderState::kUndone) {
    // A repeat: the order is already there, answered as the first time.
    if (known->second.card != number) return Outcome::refused(kOtherCard);
    return Outcome::done(done_text + formatAmount(known->second.points));
  }

  long long points = 0;
  if (!parseAmount(memberOf(block, pay ? "sum" : "sum_bonus"), &points)) {
    return Outcome::refused(kBadSum);
  }
  if (pay && points > available(card)) {
    return Outcome::refused(kNotEnough, formatAmount(available(card)));
  }
  if (!pay && points > kMaxAmount - state_.balances[number]) return Outcome::refused(kBadSum);

  StoreState before = state_;
  // An undone order of the same name is replaced: the purchase starts over.
  if (known != state_.orders.end()) {
    state_.orders.erase(known);
  } else if (!roomForOrder()) {
    return Outcome::refused(kTooMany);
  }
  Order order;
  order.kind = kind;
  order.id = id;
  order.card = number;
  order.points = points;
  order.seq = state_.next_seq++;
  state_.orders[key] = order;
  if (!persist()) {
    state_ = std::move(before);
    return Outcome::refused(kNotSaved);
  }
  return Outcome::done(done_text + formatAmount(points));
}

CardStore::Outcome CardStore::settle(bool commit, const Json::Value& block) {
  std::string number, ret;
  if (!textMember(block, "cardnum", &number) || !textMember(block, "ret", &ret)) {
    return Outcome::refused(kBadRequest);
  }
  if (!ret.empty() && ret != "pay" && ret != "ret") return Outcome::refused(kBadRequest);
  std::string id;
  if (const Refusal* r = orderIdOf(block, &id)) return Outcome::refused(*r);

  // Without "ret" the order may be either kind: a write-off first.
  auto order = state_.orders.end();
  for (const char* kind : {"pay", "ret"}) {
    if (order == state_.orders.end() && (ret.empty() || ret == kind)) {
      order = state_.orders.find(orderKey(kind, id));
    }
  }
  const bool found = order != state_.orders.end();
  if (found && !number.empty() && order->second.card != number) {
    return Outcome::refused(kOtherCard);
  }
  if (!commit) {
    if (!found) return Outcome::done("Нет операции для отмены");
    if (order->second.state == OrderState::kCommitted) return Outcome::refused(kCommitted);
    if (order->second.state == OrderState::kOpen) {
      StoreState before = state_;
      order->second.state = OrderState::kUndone;
      if (!persist()) {
        state_ = std::move(before);
        return Outcome::refused(kNotSaved);
      }
    }
    return Outcome::done("Операция отменена");
  }

  if (!found || order->second.state == OrderState::kUndone) return Outcome::refused(kNoOrder);
  Order& o = order->second;
  const bool pay = o.kind == "pay";
  const std::string done_text =
      (pay ? "Списано бонусов: " : "Возвращено бонусов: ") + formatAmount(o.points);
  if (o.state == OrderState::kCommitted) return Outcome::done(done_text);

  long long& balance = state_.balances[o.card];
  // A write-off was checked against what was available when it was
  // reserved; only a hand-edited state file could make it larger now.
  if (pay && o.points > balance) return Outcome::refused(kNotEnough, formatAmount(balance));
  if (!pay && o.points > kMaxAmount - balance) return Outcome::refused(kBadSum);
  StoreState before = state_;
  balance += pay ? -o.points : o.points;
  o.state = OrderState::kCommitted;
  if (!persist()) {
    state_ = std::move(before);
    return Outcome::refused(kNotSaved);
  }
  return Outcome::done(done_text);
}

long long CardStore::reserved(const std::string& card) const {
  long long held = 0;
  for (const auto& entry : state_.orders) {
    const Order& o = entry.second;
    if (o.kind == "pay" && o.state == OrderState::kOpen && o.card == card) held += o.points;
  }
  return held;
}

long long CardStore::available(const Card& card) const {
  auto balance = state_.balances.find(card.number);
  long long free = (balance != state_.balances.end() ? balance->second : 0) - reserved(card.number);
  if (card.has_sum_max && free > card.sum_max) free = card.sum_max;
  return free > 0 ? free : 0;
}

bool CardStore::roomForOrder() {
  if (state_.orders.size() < kMaxOrders) return true;
  auto oldest = state_.orders.end();
  for (auto it = state_.orders.begin(); it != state_.orders.end(); ++it) {
    if (it->second.state == OrderState::kOpen) continue;
    if (oldest == state_.orders.end() || it->second.seq < oldest->second.seq) oldest = it;
  }
  if (oldest == state_.orders.end()) return false;
  state_.orders.erase(oldest);
  return true;
}

bool CardStore::persist() {
  if (state_path_.empty()) return true;
  std::string error;
  if (writeFileAtomically(state_path_, JsonOut(stateToJson(state_), true), &error)) return true;
  std::fprintf(stderr, "tavrel-sim: state: %s\n", error.c_str());
  return false;
}

Json::Value CardStore::toJson() const {
  std::lock_guard<std::mutex> lock(mu_);
  Json::Value v(Json::objectValue);
  v["cards"] = Json::Value(Json::arrayValue);
  for (const auto& entry : cards_) {
    const Card& card = entry.second;
    Json::Value c(Json::objectValue);
    c["number"] = card.number;
    c["status"] = card.status;
    c["type"] = card.type;
    auto balance = state_.balances.find(card.number);
    c["balance"] = formatAmount(balance != state_.balances.end() ? balance->second : 0);
    c["reserved"] = formatAmount(reserved(card.number));
    c["available"] = formatAmount(card.blocked() ? 0 : available(card));
    v["cards"].append(c);
  }
  v["orders"] = stateToJson(state_)["orders"];
  return v;
}

}  // namespace sim
