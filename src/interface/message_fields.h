// Field rules shared by every message family: optional texts, reading
// request and response members, walking their arrays, and writing body
// members.
//
// Reading is forgiving: a member that is absent, null or a container, or a
// text member whose text is empty, leaves the field as it was; so does any
// member of a value that is not an object. Nothing here throws on outside
// JSON, whatever its shape. Writing puts a member only when there is
// something to say, so the centre never gets empty keys that the wire format
// may omit.
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
// Integers and flags follow the same rule, except that a scalar member
// always stores: a string that holds no number reads as 0, and a non-empty
// word that is not a yes (see extractJsonValueBool) reads as false.
void readInt(const char* name, const Json::Value& object, int* target);
void readFlag(const char* name, const Json::Value& object, bool* target);

// Calls visit(element, position) for each element of `array` that is an
// object, in order. `position` is the element's 1-based index in the whole
// array: null elements and elements that are not objects (numbers, strings,
// arrays) are skipped but still count, so a line keeps the place the POS
// gave it. A null `array` visits nothing.
template <class Visit>
void forEachObject(const Json::Value* array, Visit visit) {
  if (array == nullptr || !array->isArray()) return;
  const Json::ArrayIndex count = array->size();
  for (Json::ArrayIndex i = 0; i < count; ++i) {
    const Json::Value& element = (*array)[i];
    if (element.isObject()) visit(element, static_cast<unsigned>(i) + 1);
  }
}

// The member `key` of `object`, made when missing, for a `key` that is a
// string literal (or any text that outlives `object` and its copies): its
// bytes are not copied into the member, which saves an allocation for each
// member of each cheque line.
inline Json::Value& literalMember(Json::Value& object, const char* key) {
  return object[Json::StaticString(key)];
}

// Body members: a text when it is non-empty, an optional text when it is
// set, an amount as two-decimal text when `text` parses as a number. `key`
// is a string literal (see literalMember).
void putText(Json::Value& object, const char* key, const std::string& text);
void putOptText(Json::Value& object, const char* key, const OptText& text);
bool putAmount(Json::Value& object, const char* key, const std::string& text);

// True and *value set when `text` parses as a finite number; else *value
// untouched.
bool parseAmount(const std::string& text, double* value);

}  // namespace interface

#endif  // NORVALEN_INTERFACE_MESSAGE_FIELDS_H_
