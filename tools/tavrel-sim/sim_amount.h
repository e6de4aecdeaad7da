// Bonus amounts of the card store, kept exactly as whole hundredths of a
// point: "12.50" is 1250. Balances never go through floating point, so a
// balance that is written off and credited back is the same number again.
#ifndef TAVREL_SIM_SIM_AMOUNT_H_
#define TAVREL_SIM_SIM_AMOUNT_H_

#include <string>

#include <json/json.h>

namespace sim {

// The largest amount the store takes or keeps: 10^12 points.
constexpr long long kMaxAmount = 100000000000000LL;

// Reads an amount that is not negative and at most kMaxAmount: a text of
// digits with at most two decimals ("12", "12.5", "12.50"; "-0.00" is 0)
// or a JSON number (rounded to the hundredth). False for anything else.
bool parseAmount(const Json::Value& value, long long* hundredths);

// "12.50" for 1250: the form of every amount the store answers.
std::string formatAmount(long long hundredths);

}  // namespace sim

#endif  // TAVREL_SIM_SIM_AMOUNT_H_
