// JSON value helpers: the one place that turns JsonCpp values into plain
// values and back into text. Forgiving by design: a field that is absent,
// null or of the wrong kind leaves the caller's default in place.
#ifndef NORVALEN_UTIL_JSON_VALUE_H_
#define NORVALEN_UTIL_JSON_VALUE_H_

#include <string>

#include <json/json.h>

// The JSON text of `value`, ending with one line feed. Styled (one member
// per line, text beyond ASCII as \u escapes) when `styled` is true. Else
// compact, the form of every reply, log line, journal text and centre body:
// members in byte order of their keys, numbers, escapes and containers as
// JsonOutEscaped writes them, and text beyond ASCII as UTF-8, so that
// operators can read the Russian texts. Bytes that are not well-formed UTF-8
// become U+FFFD (EF BF BD): each maximal part of a sequence that cannot be
// completed gives one, so the text is always valid UTF-8 and JSON.
std::string JsonOut(const Json::Value& value, bool styled);

// The compact text of JsonCpp's classic writer, which writes every
// character beyond ASCII as a \u escape (and ill-formed UTF-8 as whatever
// code point its decoder makes of it). For text that is all ASCII it is
// exactly JsonOut(value, false); kept as the yardstick for that.
std::string JsonOutEscaped(const Json::Value& value);

// Parses `text` with the forgiving reader used for POS requests and centre
// answers (comments allowed, text after the first value ignored). Returns
// true when a value was read; `value` holds what the reader produced. Never
// throws: nesting deeper than the reader's limit (1000 levels) makes the
// text not parsable, and `value` is then null.
bool JsonParse(const std::string& text, Json::Value& value);

// Text form of a scalar: "" for null, the string (cut at a NUL), decimal for
// 32-bit integral values, "1"/"0" for booleans, "%f" for other numbers.
// A container raises JsonCpp's logic error. Integers beyond 32 bits are
// printed from their exact digits (then ".000000").
std::string Jval2Str(const Json::Value& value);
// Numbers are truncated toward zero; a number outside the result's range
// gives the nearer bound (INT_MIN/INT_MAX, LLONG_MIN/LLONG_MAX), NaN gives 0.
// Jval2i64 takes numbers beyond 32 bits through double (exact to 2^53).
// Strings are parsed in base 10 and give 0 when they do not parse.
int Jval2Int(const Json::Value& value);
long long Jval2i64(const Json::Value& value);
double JvalAsDouble(const Json::Value& value);

// Read member `name` of `object` into `*target`. Nothing happens for an
// empty name, a null target, or a member that is missing, null or a
// container. The string form also leaves the target alone for empty text.
void extractJsonValueStr(const std::string& name, const Json::Value& object, std::string* target);
void extractJsonValueInt(const std::string& name, const Json::Value& object, int* target);
void extractJsonValueDbl(const std::string& name, const Json::Value& object, double* target);
void extractJsonValueInt64(const std::string& name, const Json::Value& object, long long* target);
// True for "1", "TRUE", text beginning with "Y" or with "Д" (after ASCII
// upper-casing); false for any other non-empty text.
void extractJsonValueBool(const std::string& name, const Json::Value& object, bool* target);

#endif  // NORVALEN_UTIL_JSON_VALUE_H_
