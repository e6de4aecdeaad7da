// Field rules shared by every message family: optional texts, reading
// request and response members, and writing body members.
//
// Reading is forgiving: a member that is absent, null or a container, or a
// text member whose text is empty, leaves the field as it was. Writing puts a
// member only when there is something to say, so the centre never gets
// empty keys that the wire format may omit.
#ifndef NORVALEN_INTERFACE_MESSAGE_FIELDS_H_
#define NORVALEN_INTERFACE_MESSAGE_FIELDS_H_

#include <optional>
#include <string>

#include <json/json.h>

namespace interface {

// A text that the wire format may omit: an owned text or none, so that an
// absent text and an empty one stay distinct.
using OptText = std::optional<std::string>;

// The text, or null when there is none.
const char* optText(const OptText& text);

// The member `name` of `parent` when `parent` is an object and the member
// is an object; null otherwise (absent, null, array, scalar).
const Json::Value* memberObject(const Json::Value& parent, const char* name);

// The member `name` of `parent` when it is a non-null array; null otherwise.
const Json::Value* memberArray(const Json::Value& parent, const char* name);

// Read the text of member `name` into `target` (see the reading rule above).
void readText(const char* name, const Json::Value& object, std::string* target);
void readOptText(const char* name, const Json::Value& object, OptText* target);

// Body members: a text when it is non-empty, an optional text when it is
// set, an amount as two-decimal text when `text` parses as a number.
void putText(Json::Value& object, const char* key, const std::string& text);
void putOptText(Json::Value& object, const char* key, const OptText& text);
bool putAmount(Json::Value& object, const char* key, const std::string& text);

// True and *value set when `text` parses as a number; else *value untouched.
bool parseAmount(const std::string& text, double* value);

}  // namespace interface

#endif  // NORVALEN_INTERFACE_MESSAGE_FIELDS_H_
