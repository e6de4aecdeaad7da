#include "sim_state.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim_amount.h"
#include "sim_json.h"

namespace sim {

namespace {

bool fail(std::string* error, const std::string& text) {
  *error = text;
  return false;
}

bool stateFromName(const std::string& name, OrderState* state) {
  for (OrderState s : {OrderState::kOpen, OrderState::kCommitted, OrderState::kUndone}) {
    if (name == stateName(s)) {
      *state = s;
      return true;
    }
  }
  return false;
}

bool parseOrder(const Json::Value& v, Order* order, std::string* error) {
  static const char* const kKnown[] = {"kind", "order", "card", "points", "state", "seq", nullptr};
  if (!v.isObject()) return fail(error, "an order must be a JSON object");
  std::string unknown = unknownMember(v, kKnown);
  if (!unknown.empty()) return fail(error, "unknown member " + unknown);
  const Json::Value& kind = memberOf(v, "kind");
  if (!kind.isString() || (kind.asString() != "pay" && kind.asString() != "ret")) {
    return fail(error, "\"kind\" must be \"pay\" or \"ret\"");
  }
  order->kind = kind.asString();
  const Json::Value& id = memberOf(v, "order");
  if (!id.isString() || !validOrderId(id.asString())) {
    return fail(error, "\"order\" must be an order id");
  }
  order->id = id.asString();
  const Json::Value& card = memberOf(v, "card");
  if (!card.isString() || card.asString().empty()) {
    return fail(error, "\"card\" must be a non-empty string");
  }
  order->card = card.asString();
  if (!parseAmount(memberOf(v, "points"), &order->points)) {
    return fail(error, "\"points\" must be an amount");
  }
  const Json::Value& state = memberOf(v, "state");
  if (!state.isString() || !stateFromName(state.asString(), &order->state)) {
    return fail(error, "\"state\" must be \"open\", \"committed\" or \"undone\"");
  }
  const Json::Value& seq = memberOf(v, "seq");
  if (!seq.isInt64() || seq.asInt64() < 1) return fail(error, "\"seq\" must be a positive integer");
  order->seq = seq.asInt64();
  return true;
}

}  // namespace

bool validOrderId(const std::string& id) {
  if (id.empty() || id.size() > kMaxOrderId) return false;
  for (char c : id) {
    if (c < 0x21 || c > 0x7e) return false;
  }
  return true;
}

std::string orderKey(const std::string& kind, const std::string& id) { return kind + " " + id; }

const char* stateName(OrderState state) {
  switch (state) {
    case OrderState::kOpen:
      return "open";
    case OrderState::kCommitted:
      return "committed";
    case OrderState::kUndone:
      return "undone";
  }
  return "open";
}

Json::Value stateToJson(const StoreState& state) {
  Json::Value v(Json::objectValue);
  v["balances"] = Json::Value(Json::objectValue);
  for (const auto& b : state.balances) v["balances"][b.first] = formatAmount(b.second);
  v["orders"] = Json::Value(Json::arrayValue);
  for (const auto& entry : state.orders) {
    const Order& o = entry.second;
    Json::Value order(Json::objectValue);
    order["kind"] = o.kind;
    order["order"] = o.id;
    order["card"] = o.card;
    order["points"] = formatAmount(o.points);
    order["state"] = stateName(o.state);
    order["seq"] = static_cast<Json::Int64>(o.seq);
    v["orders"].append(order);
  }
  v["next_seq"] = static_cast<Json::Int64>(state.next_seq);
  return v;
}

bool stateFromJson(const Json::Value& value, StoreState* state, std::string* error) {
  static const char* const kKnown[] = {"balances", "orders", "next_seq", nullptr};
  if (!value.isObject()) return fail(error, "expected an object {\"balances\", \"orders\", ...}");
  std::string unknown = unknownMember(value, kKnown);
  if (!unknown.empty()) return fail(error, "unknown member " + unknown);
  StoreState parsed;
  const Json::Value& balances = memberOf(value, "balances");
  if (!balances.isObject()) return fail(error, "\"balances\" must be an object");
  for (const std::string& card : balances.getMemberNames()) {
    long long balance = 0;
    if (!parseAmount(balances[card], &balance)) {
      return fail(error, "\"balances\": the balance of \"" + card + "\" is not an amount");
    }
    parsed.balances[card] = balance;
  }
  const Json::Value& orders = memberOf(value, "orders");
  if (!orders.isArray()) return fail(error, "\"orders\" must be an array");
  long long last_seq = 0;
  for (Json::ArrayIndex i = 0; i < orders.size(); ++i) {
    Order order;
    if (!parseOrder(orders[i], &order, error)) {
      *error = "order " + std::to_string(i) + ": " + *error;
      return false;
    }
    if (!parsed.orders.emplace(orderKey(order.kind, order.id), order).second) {
      return fail(error, "order " + std::to_string(i) + " is given twice");
    }
    if (order.seq > last_seq) last_seq = order.seq;
  }
  const Json::Value& next = memberOf(value, "next_seq");
  if (!next.isInt64() || next.asInt64() < 1) {
    return fail(error, "\"next_seq\" must be a positive integer");
  }
  // Numbers are never given twice, whatever an edited file says.
  parsed.next_seq = next.asInt64() > last_seq ? next.asInt64() : last_seq + 1;
  *state = std::move(parsed);
  return true;
}

bool writeFileAtomically(const std::string& path, const std::string& text, std::string* error) {
  const std::string temp = path + ".tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return fail(error, "cannot create \"" + temp + "\": " + std::strerror(errno));
  size_t done = 0;
  int saved = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      saved = n < 0 ? errno : EIO;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (saved == 0 && ::fsync(fd) != 0) saved = errno;
  if (::close(fd) != 0 && saved == 0) saved = errno;
  if (saved == 0 && ::rename(temp.c_str(), path.c_str()) != 0) saved = errno;
  if (saved == 0) return true;
  ::unlink(temp.c_str());
  return fail(error, "cannot write \"" + path + "\": " + std::strerror(saved));
}

}  // namespace sim
