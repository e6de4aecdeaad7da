#include "util/json_value.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>

#include "util/convert.h"

namespace {

const char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// Appends the text [begin, stop) as a JSON string. The escapes are those
// of the classic writer: quote, backslash, \b \f \n \r \t, and \u00xx
// (lower-case hex) for the other bytes below 0x20; every other ASCII byte,
// DEL included, as it is. Beyond ASCII, well-formed UTF-8 as it is and
// U+FFFD for each ill-formed part.
void append_quoted(const char* begin, const char* stop, std::string* out) {
  static const char kHex[] = "0123456789abcdef";
  out->push_back('"');
  const unsigned char* p = reinterpret_cast<const unsigned char*>(begin);
  const unsigned char* const end = reinterpret_cast<const unsigned char*>(stop);
  while (p < end) {
    const unsigned char c = *p;
    if (c >= 0x80) {
      size_t skip = 0;
      const size_t length = utf8Sequence(p, end, &skip);
      if (length > 0) {
        out->append(reinterpret_cast<const char*>(p), length);
        p += length;
      } else {
        out->append(kReplacementCharacter);
        p += skip;
      }
      continue;
    }
    switch (c) {
      case '"': out->append("\\\""); break;
      case '\\': out->append("\\\\"); break;
      case '\b': out->append("\\b"); break;
      case '\f': out->append("\\f"); break;
      case '\n': out->append("\\n"); break;
      case '\r': out->append("\\r"); break;
      case '\t': out->append("\\t"); break;
      default:
        if (c < 0x20) {
          out->append("\\u00");
          out->push_back(kHex[c >> 4]);
          out->push_back(kHex[c & 0x0F]);
        } else {
          out->push_back(static_cast<char>(c));
        }
    }
    ++p;
  }
  out->push_back('"');
}

// The compact form. Numbers come from the same JsonCpp functions the
// classic writer calls (17 significant digits for doubles, "null" for NaN,
// "1e+9999" for infinities), so they cannot differ from it. Comments a
// parsed value carries are not written. Recursion is as deep as the value,
// which the reader limits to 1000 levels.
void append_compact(const Json::Value& value, std::string* out) {
  switch (value.type()) {
    case Json::nullValue:
      out->append("null");
      break;
    case Json::intValue:
      out->append(Json::valueToString(value.asLargestInt()));
      break;
    case Json::uintValue:
      out->append(Json::valueToString(value.asLargestUInt()));
      break;
    case Json::realValue:
      out->append(Json::valueToString(value.asDouble()));
      break;
    case Json::stringValue: {
      const char* begin = nullptr;
      const char* end = nullptr;
      if (value.getString(&begin, &end)) append_quoted(begin, end, out);
      break;
    }
    case Json::booleanValue:
      out->append(value.asBool() ? "true" : "false");
      break;
    case Json::arrayValue: {
      out->push_back('[');
      const Json::ArrayIndex size = value.size();
      for (Json::ArrayIndex i = 0; i < size; ++i) {
        if (i > 0) out->push_back(',');
        append_compact(value[i], out);
      }
      out->push_back(']');
      break;
    }
    case Json::objectValue: {
      // The members are kept in byte order of their keys.
      out->push_back('{');
      for (auto it = value.begin(); it != value.end(); ++it) {
        if (it != value.begin()) out->push_back(',');
        const std::string name = it.name();
        append_quoted(name.data(), name.data() + name.size(), out);
        out->push_back(':');
        append_compact(*it, out);
      }
      out->push_back('}');
      break;
    }
  }
}

}  // namespace

// The classic reader stays in use because its forgiving input is what the
// POS and the centre already send; the classic styled writer gives the
// styled form, and the classic compact writer the escaped form that the
// compact form above is held to. This is the only place that names them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

std::string JsonOut(const Json::Value& value, bool styled) {
  if (styled) {
    Json::StyledWriter writer;
    return writer.write(value);
  }
  std::string text;
  append_compact(value, &text);
  text.push_back('\n');
  return text;
}

std::string JsonOutEscaped(const Json::Value& value) {
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
