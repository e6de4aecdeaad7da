// Reading JSON that comes from outside the simulator (request bodies, the
// cards file, the state file) without ever raising: JsonCpp's accessors
// throw on a value of the wrong kind, these helpers do not.
#ifndef TAVREL_SIM_SIM_JSON_H_
#define TAVREL_SIM_SIM_JSON_H_

#include <cstddef>
#include <string>

#include <json/json.h>

namespace sim {

// `value`[`name`] when `value` is an object that has it, else null.
const Json::Value& memberOf(const Json::Value& value, const char* name);

// The names of `object`'s members that are not in `known` (a list ended
// by nullptr), "" when there are none: the first one, quoted, for an error.
std::string unknownMember(const Json::Value& object, const char* const* known);

// Reads the file at `path` (at most `max_bytes`) and parses it. False with
// *error set ("cannot read", "larger than N bytes", "not JSON").
bool readJsonFile(const std::string& path, size_t max_bytes, Json::Value* value,
                  std::string* error);

}  // namespace sim

#endif  // TAVREL_SIM_SIM_JSON_H_
