// The card store of the demo mode (--cards): a small centre that keeps
// bonus balances. CardInfo answers from the card; PayBonus reserves the
// points it writes off and Return the points it credits back, each as an
// order named by its "zakaz" (or, without one, by its "trnum"); Commit
// applies the order to the balance and Undo releases it. A request that is
// repeated for the same order is answered as the first time and changes
// nothing. With a state file the balances and orders survive a restart.
// The rules, error codes and texts are in docs/tavrel-sim.md.
#ifndef TAVREL_SIM_SIM_STORE_H_
#define TAVREL_SIM_SIM_STORE_H_

#include <map>
#include <mutex>
#include <string>

#include <json/json.h>

#include "sim_cards.h"
#include "sim_state.h"

namespace sim {

// Orders kept at most; settled ones make room for new ones, oldest first.
constexpr size_t kMaxOrders = 10000;

class CardStore {
 public:
  // Loads the cards file and, when `state_path` is not empty, the state
  // file (a missing one starts from the cards file), then writes the state
  // once so that a state file that cannot be written shows at start. False
  // with *error set to one line that names the file and the fault.
  bool open(const std::string& cards_path, const std::string& state_path, std::string* error);

  // The roots the store answers: CardInfo, PayBonus, Return, Commit, Undo.
  static bool answers(const std::string& root);

  // The answer to a request of `root` whose parsed body is `request` (any
  // value): top-level "err" and "errmsg", and the block under `root` with
  // "err", "errmsg", "message" (and the card members for CardInfo).
  Json::Value answer(const std::string& root, const Json::Value& request);

  // For GET /_sim/cards: every card with its balance, reserved and
  // available points, and the orders.
  Json::Value toJson() const;

 private:
  struct Outcome;

  Outcome cardInfo(const Json::Value& block);
  Outcome reserve(const std::string& kind, const Json::Value& block);
  Outcome settle(bool commit, const Json::Value& block);

  // Points of `card` held by open write-offs, and what may be written off.
  long long reserved(const std::string& card) const;
  long long available(const Card& card) const;
  // Makes room for one more order; false when every kept order is open.
  bool roomForOrder();
  // Writes the state file (when there is one); false when it failed.
  bool persist();

  mutable std::mutex mu_;
  std::map<std::string, Card> cards_;
  StoreState state_;
  std::string state_path_;
};

}  // namespace sim

#endif  // TAVREL_SIM_SIM_STORE_H_
