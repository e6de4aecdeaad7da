// What the card store changes and keeps across a restart: the balance of
// every card and the orders it has seen. An order is one write-off
// ("pay", from PayBonus) or one credit for returned goods ("ret", from
// Return), open until its Commit or Undo. The state file holds it as
//
//   {"balances": {"7001": "240.00"},
//    "orders": [{"kind": "pay", "order": "<zakaz>", "card": "7001",
//                "points": "10.00", "state": "open", "seq": 1}],
//    "next_seq": 2}
//
// and is replaced as a whole, through a temporary file and a rename, so a
// crash leaves either the old state or the new one.
#ifndef TAVREL_SIM_SIM_STATE_H_
#define TAVREL_SIM_SIM_STATE_H_

#include <map>
#include <string>

#include <json/json.h>

namespace sim {

enum class OrderState { kOpen, kCommitted, kUndone };

struct Order {
  std::string kind;  // "pay" or "ret"
  std::string id;    // the request's "zakaz", or "#" and its "trnum"
  std::string card;
  long long points = 0;  // hundredths
  OrderState state = OrderState::kOpen;
  long long seq = 0;  // creation order: the oldest settled order goes first
};

struct StoreState {
  std::map<std::string, long long> balances;  // by card number
  std::map<std::string, Order> orders;        // by orderKey(kind, id)
  long long next_seq = 1;
};

// Order ids are 1 to kMaxOrderId bytes of printable ASCII (a UUID, or "#"
// and a cheque number).
constexpr size_t kMaxOrderId = 64;
bool validOrderId(const std::string& id);

std::string orderKey(const std::string& kind, const std::string& id);
const char* stateName(OrderState state);

Json::Value stateToJson(const StoreState& state);
// False with *error set when `value` is not of the shape above.
bool stateFromJson(const Json::Value& value, StoreState* state, std::string* error);

// Writes `text` to `path` + ".tmp", flushes it to disk and renames it over
// `path`. False with *error set (the old file stays) when any step fails.
bool writeFileAtomically(const std::string& path, const std::string& text, std::string* error);

}  // namespace sim

#endif  // TAVREL_SIM_SIM_STATE_H_
