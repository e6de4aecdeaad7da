// JSON value helpers: the text forms, the forgiving numeric conversions, the
// field extraction rules and the compact output every reply uses.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstdint>
#include <string>

#include "util/json_value.h"

namespace {

Json::Value parsed(const std::string& text) {
  Json::Value value;
  EXPECT_TRUE(JsonParse(text, value)) << text;
  return value;
}

TEST(utilJsonValue, Jval2StrForms) {
  struct Case {
    Json::Value value;
    std::string text;
  };
  const Case cases[] = {
      {Json::Value(), ""},
      {Json::Value(true), "1"},
      {Json::Value(false), "0"},
      {Json::Value(-7), "-7"},
      {Json::Value(5.0), "5"},
      {Json::Value(-2147483648.0), "-2147483648"},
      {Json::Value(12.5), "12.500000"},
      {Json::Value(Json::Int64(4294967296LL)), "4294967296.000000"},
      {Json::Value(Json::UInt64(UINT64_MAX)), "18446744073709551615.000000"},
      {Json::Value(Json::Int64(-9007199254740993LL)), "-9007199254740993.000000"},
      {Json::Value("00123"), "00123"},
      {Json::Value(std::string("ab\0cd", 5)), "ab"},
      {Json::Value(""), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Jval2Str(c.value), c.text);
  }
  EXPECT_THROW(Jval2Str(Json::Value(Json::arrayValue)), Json::LogicError);
  EXPECT_THROW(Jval2Str(Json::Value(Json::objectValue)), Json::LogicError);
}

TEST(utilJsonValue, NumericConversions) {
  struct Case {
    const char* name;
    Json::Value value;
    int as_int;
    long long as_i64;
    double as_double;
  };
  const Case cases[] = {
      {"string 12abc", Json::Value("12abc"), 12, 12, 12.0},
      {"string abc", Json::Value("abc"), 0, 0, 0.0},
      {"string blank 42", Json::Value(" 42"), 42, 42, 42.0},
      {"string eleven nines", Json::Value("99999999999"), 0, 99999999999LL, 99999999999.0},
      {"string 12.5", Json::Value("12.5"), 12, 12, 12.5},
      {"string 1,5", Json::Value("1,5"), 1, 1, 1.0},
      {"empty string", Json::Value(""), 0, 0, 0.0},
      {"string 2^53+1", Json::Value("9007199254740993"), 0, 9007199254740993LL, 9007199254740992.0},
      {"number 7", Json::Value(7), 7, 7, 7.0},
      {"number 12.9", Json::Value(12.9), 12, 12, 12.9},
      {"number -12.9", Json::Value(-12.9), -12, -12, -12.9},
      // Beyond 32 bits a JSON integer passes through double precision.
      {"number 2^53+1", Json::Value(Json::Int64(9007199254740993LL)), INT_MAX, 9007199254740992LL,
       9007199254740992.0},
      // Outside the target range: the nearer bound.
      {"number 1e12", Json::Value(1e12), INT_MAX, 1000000000000LL, 1e12},
      {"number -1e12", Json::Value(-1e12), INT_MIN, -1000000000000LL, -1e12},
      {"number 1e300", Json::Value(1e300), INT_MAX, LLONG_MAX, 1e300},
      {"number -1e300", Json::Value(-1e300), INT_MIN, LLONG_MIN, -1e300},
      {"uint64 max", Json::Value(Json::UInt64(UINT64_MAX)), INT_MAX, LLONG_MAX, 18446744073709551615.0},
      {"true", Json::Value(true), 0, 0, 0.0},
      {"null", Json::Value(), 0, 0, 0.0},
      {"array", Json::Value(Json::arrayValue), 0, 0, 0.0},
      {"object", parsed("{\"a\":1}"), 0, 0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Jval2Int(c.value), c.as_int);
    EXPECT_EQ(Jval2i64(c.value), c.as_i64);
    EXPECT_EQ(JvalAsDouble(c.value), c.as_double);
  }
}

TEST(utilJsonValue, ExtractStrLeavesTheDefaultForNonValues) {
  const Json::Value object = parsed(
      R"({"missing_not":1,"null":null,"obj":{"a":1},"arr":[1],"empty":"","zero":0,)"
      R"("text":"abc","flag":true,"real":2.5})");
  struct Case {
    std::string name;
    std::string result;
  };
  const Case cases[] = {
      {"missing", "default"}, {"null", "default"}, {"obj", "default"}, {"arr", "default"},
      {"empty", "default"},   {"", "default"},     {"zero", "0"},      {"text", "abc"},
      {"flag", "1"},          {"real", "2.500000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string target = "default";
    extractJsonValueStr(c.name, object, &target);
    EXPECT_EQ(target, c.result);
  }
  extractJsonValueStr("text", object, nullptr);  // no target: nothing happens

  std::string target = "default";
  extractJsonValueStr("a", Json::Value(), &target);  // a null holder reads as empty
  EXPECT_EQ(target, "default");
  EXPECT_THROW(extractJsonValueStr("a", Json::Value(5), &target), Json::LogicError);
}

TEST(utilJsonValue, ExtractNumbersStoreOnceTheMemberIsAScalar) {
  const Json::Value object =
      parsed(R"({"abc":"abc","null":null,"arr":[1],"n":"42","big":"9007199254740993","d":"1.25"})");
  struct Case {
    std::string name;
    int as_int;
    long long as_i64;
    double as_double;
  };
  const int kKeep = -5;
  const Case cases[] = {
      {"abc", 0, 0, 0.0},
      {"null", kKeep, kKeep, kKeep},
      {"arr", kKeep, kKeep, kKeep},
      {"missing", kKeep, kKeep, kKeep},
      {"n", 42, 42, 42.0},
      {"big", 0, 9007199254740993LL, 9007199254740992.0},
      {"d", 1, 1, 1.25},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int i = kKeep;
    long long l = kKeep;
    double d = kKeep;
    extractJsonValueInt(c.name, object, &i);
    extractJsonValueInt64(c.name, object, &l);
    extractJsonValueDbl(c.name, object, &d);
    EXPECT_EQ(i, c.as_int);
    EXPECT_EQ(l, c.as_i64);
    EXPECT_EQ(d, c.as_double);
  }
  int i = kKeep;
  extractJsonValueInt("", object, &i);
  EXPECT_EQ(i, kKeep);
  extractJsonValueInt("n", object, nullptr);
}

// The words are checked under the character locale of the running daemon,
// where lower-case Cyrillic must still not be upper-cased.
TEST(utilJsonValue, ExtractBoolWords) {
  const std::string saved = std::setlocale(LC_CTYPE, nullptr);
  ASSERT_NE(std::setlocale(LC_CTYPE, "ru_RU.UTF-8"), nullptr);
  struct Case {
    const char* name;
    Json::Value value;
    bool result;
  };
  const Case cases[] = {
      {"1", Json::Value("1"), true},
      {"true", Json::Value("true"), true},
      {"True", Json::Value("True"), true},
      {"yes", Json::Value("yes"), true},
      {"Y", Json::Value("Y"), true},
      {"Yellow", Json::Value("Yellow"), true},
      {"Да", Json::Value("Да"), true},
      {"ДА", Json::Value("ДА"), true},
      {"number 1", Json::Value(1), true},
      {"number 1.0", Json::Value(1.0), true},
      {"boolean true", Json::Value(true), true},
      {"0", Json::Value("0"), false},
      {"no", Json::Value("no"), false},
      {"2", Json::Value("2"), false},
      {"1.5", Json::Value("1.5"), false},
      {"t", Json::Value("t"), false},
      {"TRUE blank", Json::Value("TRUE "), false},
      {"boolean false", Json::Value(false), false},
      {"да", Json::Value("да"), false},
      {"number 1.5", Json::Value(1.5), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Json::Value object;
    object["f"] = c.value;
    for (bool start : {false, true}) {
      bool target = start;
      extractJsonValueBool("f", object, &target);
      EXPECT_EQ(target, c.result);
    }
  }
  Json::Value object;
  object["empty"] = "";
  object["null"] = Json::Value();
  for (const char* name : {"empty", "null", "missing"}) {
    bool target = true;
    extractJsonValueBool(name, object, &target);
    EXPECT_TRUE(target) << name;
  }
  std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(utilJsonValue, JsonOutForms) {
  Json::Value one;
  one["a"] = 1;
  EXPECT_EQ(JsonOut(one, false), "{\"a\":1}\n");
  EXPECT_EQ(JsonOut(one, true), "{\n   \"a\" : 1\n}\n");

  // Members come out in byte order of their keys; text beyond ASCII leaves
  // as \u escapes, which every JSON reader turns back into the same UTF-8.
  const Json::Value several = parsed(R"({"b":"x","a":[1,"2"],"B":null,"Ж":"да"})");
  EXPECT_EQ(JsonOut(several, false), "{\"B\":null,\"a\":[1,\"2\"],\"b\":\"x\",\"\\u0416\":\"\\u0434\\u0430\"}\n");
  EXPECT_EQ(parsed(JsonOut(several, false))["Ж"].asString(), "да");
  EXPECT_EQ(JsonOut(Json::Value("a\"b"), false), "\"a\\\"b\"\n");
}

TEST(utilJsonValue, JsonParseIsForgiving) {
  Json::Value value;
  ASSERT_TRUE(JsonParse("// a comment\n{\"a\": 1 /* another */}", value));
  EXPECT_EQ(value["a"].asInt(), 1);
  ASSERT_TRUE(JsonParse("{\"a\": 2} trailing text", value));
  EXPECT_EQ(value["a"].asInt(), 2);
  EXPECT_FALSE(JsonParse("not json", value));
  EXPECT_FALSE(JsonParse("", value));
  EXPECT_FALSE(JsonParse("{\"a\": ", value));
}

// Nesting deeper than the reader goes makes it give up by throwing; the
// text is then simply not parsable, whoever sent it, and the next text
// parses as usual.
TEST(utilJsonValue, JsonParseTreatsTooDeepNestingAsNotParsable) {
  const int kDeep = 100000;
  const std::string deepArrays = std::string(kDeep, '[') + std::string(kDeep, ']');
  std::string deepObjects;
  for (int i = 0; i < kDeep; ++i) deepObjects += "{\"a\":";
  deepObjects += "1" + std::string(kDeep, '}');
  const std::string cases[] = {
      deepArrays,
      std::string(kDeep, '['),  // cut short as well
      deepObjects,
      "{\"TVL\":{\"Connect\":" + deepArrays + "}}",
      "[{\"a\":" + std::string(2000, '[') + std::string(2000, ']') + "}]",
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text.substr(0, 24));
    Json::Value value(Json::objectValue);
    EXPECT_FALSE(JsonParse(text, value));
    EXPECT_TRUE(value.isNull()) << "nothing half-read is handed on";
    ASSERT_TRUE(JsonParse("{\"a\": 3}", value));
    EXPECT_EQ(value["a"].asInt(), 3);
  }
  // Nesting a POS or a centre really uses is read.
  Json::Value value;
  EXPECT_TRUE(JsonParse(std::string(500, '[') + std::string(500, ']'), value));
  EXPECT_TRUE(value.isArray());
}

}  // namespace
