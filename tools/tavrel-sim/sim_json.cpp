#include "sim_json.h"

#include <cstring>
#include <fstream>

#include "util/json_value.h"

namespace sim {

const Json::Value& memberOf(const Json::Value& value, const char* name) {
  static const Json::Value kNull;
  if (!value.isObject()) return kNull;
  const Json::Value* member = value.find(name, name + std::strlen(name));
  return member != nullptr ? *member : kNull;
}

std::string unknownMember(const Json::Value& object, const char* const* known) {
  if (!object.isObject()) return "";
  for (const std::string& name : object.getMemberNames()) {
    bool found = false;
    for (const char* const* k = known; *k != nullptr && !found; ++k) found = name == *k;
    if (!found) return "\"" + name + "\"";
  }
  return "";
}

bool readJsonFile(const std::string& path, size_t max_bytes, Json::Value* value,
                  std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read";
    return false;
  }
  std::string text;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    text.append(chunk, static_cast<size_t>(in.gcount()));
    if (text.size() > max_bytes) {
      *error = "larger than " + std::to_string(max_bytes) + " bytes";
      return false;
    }
  }
  if (in.bad()) {
    *error = "cannot read";
    return false;
  }
  if (!JsonParse(text, *value)) {
    *error = "not JSON";
    return false;
  }
  return true;
}

}  // namespace sim
