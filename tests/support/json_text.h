// Small readers for test assertions: a JSON text parsed (a test failure
// when it does not parse), and nullable or optional texts shown as text.
#ifndef NORVALEN_TESTS_SUPPORT_JSON_TEXT_H_
#define NORVALEN_TESTS_SUPPORT_JSON_TEXT_H_

#include <string>

#include <json/json.h>

#include "interface/message_fields.h"

Json::Value ParseJson(const std::string& text);
// The text, or "<null>".
std::string ShownText(const char* text);
// The text, or "<none>".
std::string ShownOpt(const interface::OptText& text);

#endif  // NORVALEN_TESTS_SUPPORT_JSON_TEXT_H_
