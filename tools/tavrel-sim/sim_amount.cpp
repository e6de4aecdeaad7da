#include "sim_amount.h"

#include <cmath>
#include <cstdio>

namespace sim {

namespace {

bool parseText(const std::string& text, long long* hundredths) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  // Thirteen integer digits at most keep the value within kMaxAmount's range
  // before the final check, so nothing can overflow.
  long long whole = 0;
  size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    if (digits == 13) return false;
    whole = whole * 10 + (text[i] - '0');
  }
  if (digits == 0) return false;
  long long cents = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    size_t decimals = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++decimals) {
      if (decimals == 2) return false;
      cents = cents * 10 + (text[i] - '0');
    }
    if (decimals == 0) return false;
    if (decimals == 1) cents *= 10;
  }
  if (i != text.size()) return false;
  long long value = whole * 100 + cents;
  if (negative && value != 0) return false;
  if (value > kMaxAmount) return false;
  *hundredths = value;
  return true;
}

}  // namespace

bool parseAmount(const Json::Value& value, long long* hundredths) {
  if (value.isString()) return parseText(value.asString(), hundredths);
  if (!value.isNumeric()) return false;
  double x = value.asDouble();
  if (!std::isfinite(x) || x < 0 || x * 100 > static_cast<double>(kMaxAmount)) return false;
  *hundredths = std::llround(x * 100);
  return true;
}

std::string formatAmount(long long hundredths) {
  char text[32];
  const char* sign = hundredths < 0 ? "-" : "";
  long long magnitude = hundredths < 0 ? -hundredths : hundredths;
  std::snprintf(text, sizeof text, "%s%lld.%02lld", sign, magnitude / 100, magnitude % 100);
  return text;
}

}  // namespace sim
