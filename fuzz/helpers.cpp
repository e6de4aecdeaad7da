// The small helpers every request passes through: dates, number parsing and
// printing, and the JSON writer.
//
// Checked: a date-time that is valid prints as 14 digits and shows, one
// that is not prints as "" and shows null; a number parse that succeeds
// ends inside the text; dbl2str always has a "." exactly when decimals are
// asked for a finite value; the compact JSON text of any value read parses
// back, and once read back it stays the same text; the styled text parses.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <json/json.h>

#include "util/convert.h"
#include "util/datetime.h"
#include "util/json_value.h"

namespace {

void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "helpers: %s: [%s]\n", what, detail.c_str());
  std::abort();
}

void dates(const std::string& text) {
  const _datetime::dateTime value(text);
  const std::string digits = value.get_datetime_str();
  const CText shown = value.show_datetime(" ");
  if (value.valid()) {
    if (digits.size() != 14 || digits.find_first_not_of("0123456789") != std::string::npos) {
      fail("valid date-time not 14 digits", text + " -> " + digits);
    }
    if (shown.isNull()) fail("valid date-time not shown", text);
    if (_datetime::dateTime(digits).get_datetime_str() != digits) fail("date-time does not read back", digits);
  } else {
    if (!digits.empty()) fail("date-time not valid but printed", text + " -> " + digits);
    if (!shown.isNull()) fail("date-time not valid but shown", text);
  }
}

void numbers(const std::string& text, int base, int digits) {
  int i = 7;
  unsigned int end = 12345;
  if (_stoi(text, &i, &end, base) == 0 && end > text.size()) fail("_stoi end past the text", text);
  long long l = 7;
  end = 12345;
  if (_stol(text, &l, &end, base) == 0 && end > text.size()) fail("_stol end past the text", text);
  end = 12345;
  if (_stoi64(text, &l, &end, base) == 0 && end > text.size()) fail("_stoi64 end past the text", text);
  double d = 0.5;
  end = 12345;
  const int rc = _stod(text, &d, &end);
  if (rc == 0 && end > text.size()) fail("_stod end past the text", text);
  const std::string printed = dbl2str(d, digits);
  if (std::isfinite(d)) {
    const bool point = printed.find('.') != std::string::npos;
    if (point != (digits > 0)) fail("dbl2str decimals", printed);
  }
  (void)n2str(d);
  (void)str_left_fill(text, digits * 40, '0');
  (void)str_right_fill(text, digits * 40, ' ');
}

void json(const std::string& text) {
  Json::Value value;
  if (!JsonParse(text, value)) return;
  const std::string compact = JsonOut(value, false);
  Json::Value again;
  if (!JsonParse(compact, again)) fail("compact JSON does not parse back", compact);
  // Ill-formed UTF-8 in a key becomes U+FFFD, which can change the order of
  // the members; from the text read back on, the text is a fixed point.
  const std::string settled = JsonOut(again, false);
  Json::Value third;
  if (!JsonParse(settled, third)) fail("compact JSON does not parse back", settled);
  if (JsonOut(third, false) != settled) fail("compact JSON changes when read back", settled);
  Json::Value styledBack;
  const std::string styled = JsonOut(value, true);
  if (!JsonParse(styled, styledBack)) fail("styled JSON does not parse back", styled);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  dates(text);
  // Base and decimals from the first bytes, so that invalid bases and
  // negative or large decimal counts are tried as well.
  const int base = size > 0 ? data[0] % 40 : 10;
  const int digits = size > 1 ? static_cast<int8_t>(data[1]) : 2;
  numbers(size > 2 ? text.substr(2) : text, base, digits);
  numbers(text, 10, 2);
  if (size >= sizeof(double)) {
    double raw;
    std::memcpy(&raw, data, sizeof raw);
    (void)dbl2str(raw, digits);
    (void)dbl2str(raw, 6);
  }
  json(text);
  return 0;
}
