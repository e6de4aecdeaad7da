// JSON value helpers: the text forms, the forgiving numeric conversions, the
// field extraction rules and the compact output every reply uses.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

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
  // as UTF-8 in the compact form and as \u escapes in the escaped one, which
  // every JSON reader turns back into the same text.
  const Json::Value several = parsed(R"({"b":"x","a":[1,"2"],"B":null,"Ж":"да"})");
  EXPECT_EQ(JsonOut(several, false), "{\"B\":null,\"a\":[1,\"2\"],\"b\":\"x\",\"Ж\":\"да\"}\n");
  EXPECT_EQ(JsonOutEscaped(several),
            "{\"B\":null,\"a\":[1,\"2\"],\"b\":\"x\",\"\\u0416\":\"\\u0434\\u0430\"}\n");
  EXPECT_EQ(parsed(JsonOut(several, false)), several);
  EXPECT_EQ(parsed(JsonOutEscaped(several)), several);
  EXPECT_EQ(JsonOut(Json::Value("a\"b"), false), "\"a\\\"b\"\n");
}

// A reply as the POS reads it: Russian text as it is, escapes only where
// JSON needs them.
TEST(utilJsonValue, JsonOutWritesRussianTextAsUtf8) {
  Json::Value card(Json::objectValue);
  card["err"] = "3";
  card["errMsg"] = "Карта \"Ёж\" заблокирована\n\tобратитесь к кассиру\\ЖЖ\x01\x1f\x7f";
  card["BlockedProducts"] = "gsm95,gsm92";
  card["Balance"] = 125.5;
  card["Points"] = Json::Int64(-9007199254740993LL);
  card["Цена"] = Json::UInt64(18446744073709551615ULL);
  card["Lines"] = parsed(R"([{"id":"4601","name":"Хлеб «Бородинский»"},[],{}])");
  card["Null"] = Json::Value();
  card["Ok"] = false;
  Json::Value reply;
  reply["TVL"]["CardInfo"] = card;
  const std::string expected =
      "{\"TVL\":{\"CardInfo\":{\"Balance\":125.5,\"BlockedProducts\":\"gsm95,gsm92\","
      "\"Lines\":[{\"id\":\"4601\",\"name\":\"Хлеб «Бородинский»\"},[],{}],\"Null\":null,"
      "\"Ok\":false,\"Points\":-9007199254740993,\"err\":\"3\","
      "\"errMsg\":\"Карта \\\"Ёж\\\" заблокирована\\n\\tобратитесь к кассиру\\\\ЖЖ"
      "\\u0001\\u001f\x7f\",\"Цена\":18446744073709551615}}}\n";
  EXPECT_EQ(JsonOut(reply, false), expected);
  EXPECT_EQ(parsed(JsonOut(reply, false)), reply);
}

// Values whose text is all ASCII, of every kind and every corner the
// classic writer has: the compact form must be that writer's, byte for byte.
std::vector<Json::Value> AsciiCorpus() {
  std::vector<Json::Value> corpus;
  const double kDoubles[] = {0.0,
                             -0.0,
                             0.1,
                             -0.1,
                             1.0,
                             1.5,
                             -2.0,
                             1e300,
                             -1e300,
                             1e21,
                             1e-7,
                             123456789.123,
                             9007199254740993.0,
                             std::numeric_limits<double>::min(),
                             std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::lowest(),
                             std::numeric_limits<double>::epsilon(),
                             std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity()};
  for (double d : kDoubles) corpus.emplace_back(d);
  const Json::Int64 kInts[] = {0, 1, -1, INT_MAX, INT_MIN, 4294967296LL, LLONG_MAX, LLONG_MIN};
  for (Json::Int64 i : kInts) corpus.emplace_back(i);
  for (int i : {0, -7, INT_MIN}) corpus.emplace_back(i);
  for (Json::UInt64 u : {Json::UInt64(0), Json::UInt64(UINT_MAX), Json::UInt64(ULLONG_MAX)}) {
    corpus.emplace_back(u);
  }
  corpus.emplace_back(Json::Value(Json::uintValue));
  corpus.emplace_back();
  corpus.emplace_back(true);
  corpus.emplace_back(false);
  corpus.emplace_back(Json::Value(Json::stringValue));
  corpus.emplace_back("");
  corpus.emplace_back(std::string("a\0b", 3));
  std::string every_byte;
  for (int c = 0; c < 0x80; ++c) {
    const std::string one(1, static_cast<char>(c));
    corpus.emplace_back(one);
    Json::Value keyed(Json::objectValue);
    keyed[one] = c;
    corpus.push_back(keyed);
    every_byte += one;
  }
  corpus.emplace_back(every_byte);
  corpus.emplace_back(Json::Value(Json::arrayValue));
  corpus.emplace_back(Json::Value(Json::objectValue));
  Json::Value long_array(Json::arrayValue);
  for (int i = 0; i < 60; ++i) long_array.append(i % 3 == 0 ? Json::Value(i * 1000.25) : Json::Value(i));
  corpus.push_back(long_array);
  Json::Value nested_long(Json::arrayValue);
  for (int i = 0; i < 12; ++i) nested_long.append(long_array);
  corpus.push_back(nested_long);
  Json::Value deep = 1;
  for (int i = 0; i < 300; ++i) {
    Json::Value holder(i % 2 == 0 ? Json::arrayValue : Json::objectValue);
    if (i % 2 == 0) holder.append(deep); else holder["k"] = deep;
    deep = holder;
  }
  corpus.push_back(deep);
  Json::Value padded(Json::arrayValue);
  padded[5] = "last";  // the places before it hold null
  corpus.push_back(padded);
  Json::Value keys(Json::objectValue);
  for (const char* k : {"b", "a", "B", "", "aa", "a b", "\"", "\\", "\n", "~", "0", "10", "9"}) {
    keys[k] = k;
  }
  keys[std::string("a\0", 2)] = "after a";
  corpus.push_back(keys);
  // Comments that came with a parsed text are not part of the value's text.
  corpus.push_back(parsed(
      "// before\n{\"TVL\": /* in */ {\"CardInfo\": {\"CardNum\": \"1234\", // after\n"
      "\"Check\": [{\"price\": 10.5, \"cnt\": 2}, /* gap */ {\"flag\": 0}]}}}"));
  corpus.push_back(parsed(R"({"a":[[],{},[[]],[{}],{"b":[null,true,false,-0,0.5e1,1E300,-1.25E-3]}]})"));
  return corpus;
}

// Random ASCII values from a fixed seed, for the combinations no list holds.
Json::Value RandomAsciiValue(std::mt19937* random, int depth) {
  auto pick = [random](int n) { return static_cast<int>((*random)() % static_cast<unsigned>(n)); };
  auto text = [&pick]() {
    std::string s(pick(6), ' ');
    for (char& c : s) c = static_cast<char>(pick(0x80));
    return s;
  };
  switch (pick(depth > 0 ? 9 : 7)) {
    case 0: return Json::Value();
    case 1: return Json::Value(pick(2) == 0);
    case 2: return Json::Value(static_cast<Json::Int64>((*random)()) - Json::Int64(1) - INT_MAX);
    case 3: return Json::Value(static_cast<Json::UInt64>((*random)()) << pick(33));
    case 4: {
      const double d = static_cast<double>(static_cast<int>((*random)())) / (1 + pick(1000));
      return Json::Value(pick(2) == 0 ? d : d * 1e200);
    }
    case 5:
    case 6: return Json::Value(text());
    case 7: {
      Json::Value array(Json::arrayValue);
      for (int n = pick(5); n > 0; --n) array.append(RandomAsciiValue(random, depth - 1));
      return array;
    }
    default: {
      Json::Value object(Json::objectValue);
      for (int n = pick(5); n > 0; --n) object[text()] = RandomAsciiValue(random, depth - 1);
      return object;
    }
  }
}

TEST(utilJsonValue, JsonOutIsTheClassicCompactTextForAsciiValues) {
  std::vector<Json::Value> corpus = AsciiCorpus();
  std::mt19937 random(20240501);
  for (int i = 0; i < 3000; ++i) corpus.push_back(RandomAsciiValue(&random, 4));

  // Numbers are formatted the same whatever the locale the daemon runs in.
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  for (const char* locale : {"C", "ru_RU.UTF-8"}) {
    SCOPED_TRACE(locale);
    ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr);
    size_t differing = 0;
    for (size_t i = 0; i < corpus.size(); ++i) {
      const std::string escaped = JsonOutEscaped(corpus[i]);
      const std::string compact = JsonOut(corpus[i], false);
      if (compact != escaped && ++differing <= 5) {
        ADD_FAILURE() << "value " << i << "\n classic: " << escaped << " compact: " << compact;
      }
    }
    EXPECT_EQ(differing, 0u);
  }
  std::setlocale(LC_ALL, saved.c_str());
}

// Bytes that are not well-formed UTF-8 become U+FFFD, one for each maximal
// part that could have begun a sequence; well-formed sequences, up to the
// last code point, pass as they are.
TEST(utilJsonValue, JsonOutReplacesIllFormedUtf8) {
  const std::string R = "\xEF\xBF\xBD";
  struct Case {
    const char* name;
    std::string text;
    std::string written;
  };
  const Case cases[] = {
      {"two-byte", "\xD0\x96", "\xD0\x96"},
      {"lowest two-byte", "\xC2\x80", "\xC2\x80"},
      {"U+FFFF", "\xEF\xBF\xBF", "\xEF\xBF\xBF"},
      {"four-byte", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"U+10FFFF", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
      {"lone FF", "a\xFF" "b", "a" + R + "b"},
      {"lone continuation", "\x80", R},
      {"cut at the end", "\xD0", R},
      {"three-byte cut short", "\xE2\x82" "a", R + "a"},
      {"four-byte cut short", "\xF0\x9F\x98", R},
      {"overlong slash", "\xC0\xAF", R + R},
      {"overlong three-byte", "\xE0\x80\xAF", R + R + R},
      {"surrogate", "\xED\xA0\x80", R + R + R},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", R + R + R + R},
      {"F5 lead", "\xF5\x80", R + R},
      {"lead then lead", "\xD0\xD0\x96", R + "\xD0\x96"},
      {"lead then ASCII quote", "\xD0\"", R + "\\\""},
      {"lead then control", "\xE2\x82\n", R + "\\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(JsonOut(Json::Value(c.text), false), "\"" + c.written + "\"\n");
    Json::Value keyed(Json::objectValue);
    keyed[c.text] = 1;
    EXPECT_EQ(JsonOut(keyed, false), "{\"" + c.written + "\":1}\n");
  }

  // Any bytes at all: the text reads back, and what it reads back as is
  // written unchanged, so nothing is replaced twice.
  std::mt19937 random(7);
  for (int i = 0; i < 2000; ++i) {
    std::string bytes(random() % 12, ' ');
    for (char& b : bytes) b = static_cast<char>(random() % 4 == 0 ? random() % 0x80 : 0x80 + random() % 0x80);
    const std::string text = JsonOut(Json::Value(bytes), false);
    Json::Value back;
    ASSERT_TRUE(JsonParse(text, back)) << text;
    EXPECT_EQ(JsonOut(back, false), text);
  }
}

// Text made of well-formed UTF-8 of every length reads back exactly.
TEST(utilJsonValue, JsonOutKeepsWellFormedUtf8) {
  auto encode = [](unsigned cp) {
    std::string s;
    if (cp < 0x80) {
      s += static_cast<char>(cp);
    } else if (cp < 0x800) {
      s += static_cast<char>(0xC0 | (cp >> 6));
      s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      s += static_cast<char>(0xE0 | (cp >> 12));
      s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      s += static_cast<char>(0xF0 | (cp >> 18));
      s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
  };
  // Each length at its bounds, then random code points beyond ASCII (often
  // Cyrillic) between plain letters.
  for (unsigned cp : {0x80u, 0x7FFu, 0x800u, 0xD7FFu, 0xE000u, 0xFFFDu, 0xFFFFu, 0x10000u, 0x10FFFFu}) {
    const std::string text = encode(cp);
    EXPECT_EQ(JsonOut(Json::Value(text), false), "\"" + text + "\"\n") << cp;
  }
  std::mt19937 random(11);
  for (int i = 0; i < 2000; ++i) {
    std::string text;
    for (int n = static_cast<int>(random() % 10); n > 0; --n) {
      unsigned cp = 0x80 + random() % (0x110000 - 0x80);
      if (cp >= 0xD800 && cp <= 0xDFFF) cp -= 0x800;  // surrogates are not characters
      switch (random() % 3) {
        case 0: cp = 0x410 + cp % 0x40; break;  // А..я
        case 1: text += 'a'; break;
      }
      text += encode(cp);
    }
    Json::Value object(Json::objectValue);
    object[text] = text;
    const std::string written = JsonOut(object, false);
    EXPECT_EQ(written, "{\"" + text + "\":\"" + text + "\"}\n");
    EXPECT_EQ(parsed(written), object) << written;
  }
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
