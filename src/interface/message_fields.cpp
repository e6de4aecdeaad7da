#include "interface/message_fields.h"

#include <cmath>

#include "util/convert.h"
#include "util/json_value.h"

namespace interface {

const char* optText(const OptText& text) { return text ? text->c_str() : nullptr; }

const Json::Value* memberObject(const Json::Value& parent, const char* name) {
  if (!parent.isObject()) return nullptr;
  const Json::Value* member = parent.find(name, name + std::char_traits<char>::length(name));
  return member != nullptr && member->isObject() ? member : nullptr;
}

const Json::Value* memberArray(const Json::Value& parent, const char* name) {
  if (!parent.isObject()) return nullptr;
  const Json::Value* member = parent.find(name, name + std::char_traits<char>::length(name));
  return member != nullptr && member->isArray() ? member : nullptr;
}

void readText(const char* name, const Json::Value& object, std::string* target) {
  if (!object.isObject()) return;  // members of an array or a scalar do not exist
  extractJsonValueStr(name, object, target);
}

void readOptText(const char* name, const Json::Value& object, OptText* target) {
  std::string text;
  readText(name, object, &text);
  if (!text.empty()) *target = text;
}

void readInt(const char* name, const Json::Value& object, int* target) {
  if (!object.isObject()) return;
  extractJsonValueInt(name, object, target);
}

void readFlag(const char* name, const Json::Value& object, bool* target) {
  if (!object.isObject()) return;
  extractJsonValueBool(name, object, target);
}

void putText(Json::Value& object, const char* key, const std::string& text) {
  if (!text.empty()) literalMember(object, key) = text;
}

void putOptText(Json::Value& object, const char* key, const OptText& text) {
  if (text) literalMember(object, key) = *text;
}

bool putAmount(Json::Value& object, const char* key, const std::string& text) {
  double value = 0;
  if (!parseAmount(text, &value)) return false;
  literalMember(object, key) = dbl2str(value, 2);
  return true;
}

bool parseAmount(const std::string& text, double* value) {
  if (text.empty()) return false;
  double parsed = 0;
  if (_stod(text, &parsed, nullptr) != 0) return false;
  // "inf" and "nan" read as numbers but are no amount the centre can take.
  if (!std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

}  // namespace interface
