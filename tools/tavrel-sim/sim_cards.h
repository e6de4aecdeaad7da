// The cards of the demo centre, as the cards file gives them:
//
//   {"cards": [
//     {"number": "7001", "status": "active", "type": "b", "balance": "250.00",
//      "sum_min": "0.00", "sum_max": "500.00", "max_score": "50.00",
//      "discounts": {"4601": "10.00"}, "blocked": ["gsm95"]}, ...]}
//
// Only "number" is required. "status" is "active" (the default) or
// "blocked"; "type" defaults to "b"; amounts are texts with at most two
// decimals or JSON numbers, not negative: "balance" (default 0), "sum_min"
// (default 0), "sum_max" (the most one purchase may write off; without it
// only the balance limits), "max_score" (default 0). "discounts" maps
// article ids to their discount, "blocked" lists the articles that cannot
// be paid with bonus.
#ifndef TAVREL_SIM_SIM_CARDS_H_
#define TAVREL_SIM_SIM_CARDS_H_

#include <map>
#include <string>
#include <vector>

#include <json/json.h>

namespace sim {

struct Card {
  std::string number;
  std::string status = "active";
  std::string type = "b";
  long long balance = 0;  // hundredths, as in sim_amount.h
  long long sum_min = 0;
  bool has_sum_max = false;
  long long sum_max = 0;
  long long max_score = 0;
  std::map<std::string, long long> discounts;
  std::vector<std::string> blocked_articles;

  bool blocked() const { return status == "blocked"; }
};

// Card numbers are at most this long (the daemon sends at most 20 bytes).
constexpr size_t kMaxCardNumber = 64;

// Reads the cards file's value. False with *error set when it is not of
// the shape above: unknown members, wrong kinds, a repeated number.
bool parseCards(const Json::Value& value, std::vector<Card>* cards, std::string* error);

}  // namespace sim

#endif  // TAVREL_SIM_SIM_CARDS_H_
