#include "util/json_value.h"

#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>

#include "util/convert.h"

// The classic reader and writers stay in use because their forgiving input
// and their exact output are what the POS and the centre already exchange.
// This is the only place that names them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

std::string JsonOut(const Json::Value& value, bool styled) {
  if (styled) {
    Json::StyledWriter writer;
    return writer.write(value);
  }
  Json::FastWriter writer;
  return writer.write(value);
}

bool JsonParse(const std::string& text, Json::Value& value) {
  // The reader gives up on nesting beyond its depth limit by throwing, and
  // may run out of memory on a huge text; neither may escape into a session
  // or a start-up. What it built up to then is not handed on.
  try {
    Json::Reader reader;
    return reader.parse(text, value);
  } catch (const std::exception&) {
    value = Json::Value();
    return false;
  }
}

#pragma GCC diagnostic pop

namespace {

// Truncates toward zero into [low, high]; values beyond the range stay at
// the nearer bound and NaN gives 0, so no input has undefined behaviour.
template <typename T>
T truncate_saturated(double x) {
  if (std::isnan(x)) return 0;
  const double low = static_cast<double>(std::numeric_limits<T>::min());
  // The upper bound of a signed type is not exact in double (2^63 - 1 rounds
  // up to 2^63), so compare against the power of two just above it.
  const double above_high = -low;
  if (x <= low) return std::numeric_limits<T>::min();
  if (x >= above_high) return std::numeric_limits<T>::max();
  return static_cast<T>(x);
}

bool is_container(const Json::Value& value) {
  return value.isArray() || value.isObject();
}

}  // namespace

std::string Jval2Str(const Json::Value& value) {
  if (value.isNull()) return std::string();
  if (value.isString()) {
    const std::string text = value.asString();
    return text.substr(0, text.find('\0'));
  }
  if (value.isInt()) return n2str(value.asInt());
  if (value.isBool()) return value.asBool() ? "1" : "0";
  // Wide integers are printed from their exact digits; going through double
  // would change those beyond 2^53.
  if (value.isInt64()) return n2str(static_cast<long long>(value.asInt64())) + ".000000";
  if (value.isUInt64()) return std::to_string(value.asUInt64()) + ".000000";
  if (value.isDouble()) return n2str(value.asDouble());
  return value.asString();  // a container: JsonCpp raises its logic error
}

int Jval2Int(const Json::Value& value) {
  if (value.isNull() || is_container(value)) return 0;
  if (value.isString()) {
    int result = 0;
    if (_stoi(value.asString(), &result, nullptr, 10) != 0) return 0;
    return result;
  }
  if (value.isInt()) return value.asInt();
  if (value.isDouble()) return truncate_saturated<int>(value.asDouble());
  return 0;
}

long long Jval2i64(const Json::Value& value) {
  if (value.isNull() || is_container(value)) return 0;
  if (value.isString()) {
    long long result = 0;
    if (_stoi64(value.asString(), &result, nullptr, 10) != 0) return 0;
    return result;
  }
  if (value.isInt()) return value.asInt();
  // Deliberately through double: wider JSON integers keep 53 bits.
  if (value.isDouble()) return truncate_saturated<long long>(value.asDouble());
  return 0;
}

double JvalAsDouble(const Json::Value& value) {
  if (value.isNull() || is_container(value)) return 0.0;
  if (value.isString()) {
    double result = 0.0;
    if (_stod(value.asString(), &result, nullptr) != 0) return 0.0;
    return result;
  }
  if (value.isInt()) return static_cast<double>(value.asInt());
  if (value.isDouble()) return value.asDouble();
  return 0.0;
}

namespace {

// The member `name` of `object` when it holds a scalar, else null. A missing
// member reads as null; an `object` that is neither object nor null raises
// JsonCpp's logic error.
const Json::Value* scalar_member(const std::string& name, const Json::Value& object) {
  if (name.empty()) return nullptr;
  const Json::Value& member = object[name];
  if (member.isNull() || is_container(member)) return nullptr;
  return &member;
}

}  // namespace

void extractJsonValueStr(const std::string& name, const Json::Value& object, std::string* target) {
  if (target == nullptr) return;
  const Json::Value* member = scalar_member(name, object);
  if (member == nullptr) return;
  std::string text = Jval2Str(*member);
  if (!text.empty()) *target = std::move(text);
}

void extractJsonValueInt(const std::string& name, const Json::Value& object, int* target) {
  if (target == nullptr) return;
  const Json::Value* member = scalar_member(name, object);
  if (member != nullptr) *target = Jval2Int(*member);
}

void extractJsonValueDbl(const std::string& name, const Json::Value& object, double* target) {
  if (target == nullptr) return;
  const Json::Value* member = scalar_member(name, object);
  if (member != nullptr) *target = JvalAsDouble(*member);
}

void extractJsonValueInt64(const std::string& name, const Json::Value& object, long long* target) {
  if (target == nullptr) return;
  const Json::Value* member = scalar_member(name, object);
  if (member != nullptr) *target = Jval2i64(*member);
}

void extractJsonValueBool(const std::string& name, const Json::Value& object, bool* target) {
  if (target == nullptr) return;
  std::string text;
  extractJsonValueStr(name, object, &text);
  if (text.empty()) return;
  toUpper(text);
  static const char kCyrillicCapitalDe[] = "\xD0\x94";
  *target = text == "1" || text == "TRUE" || text[0] == 'Y' ||
            text.compare(0, 2, kCyrillicCapitalDe) == 0;
}
