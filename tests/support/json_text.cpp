#include "support/json_text.h"

#include <gtest/gtest.h>

#include "util/json_value.h"

Json::Value ParseJson(const std::string& text) {
  Json::Value value;
  EXPECT_TRUE(JsonParse(text, value)) << text;
  return value;
}

std::string ShownText(const char* text) { return text == nullptr ? "<null>" : text; }

std::string ShownOpt(const interface::OptText& text) { return text ? *text : "<none>"; }
