// Text and number conversions: amounts, padding, yes/no words, parsing with
// status codes, case folding, splitting and the wide buffers.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <random>
#include <string>
#include <vector>

#include "util/convert.h"

namespace {

// Runs a test body under the character locale the daemon sets at start-up,
// restoring the previous one afterwards.
class utilConvertLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "ru_RU.UTF-8"), nullptr) << "ru_RU.UTF-8 not installed";
  }
  void TearDown() override { std::setlocale(LC_CTYPE, saved_.c_str()); }

 private:
  std::string saved_;
};

TEST(utilConvert, Dbl2strRoundsLikePrintf) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {0.125, "0.12"},    // exact tie: to even
      {0.375, "0.38"},    // exact tie: to even
      {2.675, "2.67"},    // the double lies just below
      {12.345, "12.35"},  // the double lies just above
      {0.0, "0.00"},
      {-1.5, "-1.50"},
      {1.0, "1.00"},
      {1234567.891, "1234567.89"},
      {-0.004, "-0.00"},
      {99.995, "100.00"},  // carries into a new digit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(dbl2str(c.value, 2), c.text);
  }
  EXPECT_EQ(dbl2str(2.5, 0), "2");
  EXPECT_EQ(dbl2str(2.5, -3), "2");  // a negative count means no decimals
}

TEST(utilConvert, Dbl2strAgreesWithPrintfOnManyValues) {
  std::mt19937_64 rng(20240131);
  std::uniform_real_distribution<double> amounts(-1e7, 1e7);
  char expected[128];
  for (int i = 0; i < 20000; ++i) {
    const double x = i < 10000 ? amounts(rng) : (i - 10000) * 0.005;  // many near-ties
    const int digits = i % 4;
    std::snprintf(expected, sizeof expected, "%.*f", digits, x);
    ASSERT_EQ(dbl2str(x, digits), expected) << "value " << x << " digits " << digits;
  }
}

TEST(utilConvert, NumbersUseThePointWhateverTheNumericLocale) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  ASSERT_NE(std::setlocale(LC_NUMERIC, "ru_RU.UTF-8"), nullptr);
  const std::string amount = dbl2str(1.5, 2);
  const std::string six = n2str(12.5);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(amount, "1.50");
  EXPECT_EQ(six, "12.500000");
}

TEST(utilConvert, IntegersAndCText) {
  EXPECT_EQ(n2str(-42), "-42");
  EXPECT_EQ(n2str(0), "0");
  EXPECT_EQ(n2str(2147483647L * 4), "8589934588");
  EXPECT_EQ(n2str(-9223372036854775807LL - 1), "-9223372036854775808");
  EXPECT_EQ(n2str(12.5), "12.500000");
  // The pointer is used inside the full expression that produced it.
  EXPECT_STREQ(n2Cstr(-42).c_str(), "-42");
  EXPECT_EQ(std::string("n=") + n2Cstr(7LL).c_str(), "n=7");
  EXPECT_STREQ(n2Cstr(0.5).c_str(), "0.500000");
  EXPECT_EQ(static_cast<const char*>(CText()), nullptr);
}

TEST(utilConvert, FillPadsUpToTheLimitAndNeverCuts) {
  struct Case {
    std::string text;
    int width;
    std::string left;
    std::string right;
  };
  const Case cases[] = {
      {"123", 6, "000123", "123000"},
      {"12345", 3, "12345", "12345"},
      {"12345", 5, "12345", "12345"},
      {"12345", 0, "12345", "12345"},
      {"12345", -1, "12345", "12345"},
      {"", 4, "0000", "0000"},
      {"", 0, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + " width " + std::to_string(c.width));
    EXPECT_EQ(str_left_fill(c.text, c.width, '0'), c.left);
    EXPECT_EQ(str_right_fill(c.text, c.width, '0'), c.right);
  }

  const std::string wide = str_left_fill("ab", 10000, '0');
  ASSERT_EQ(wide.size(), 4096u);
  EXPECT_EQ(wide.substr(4094), "ab");
  EXPECT_EQ(wide.find_first_not_of('0'), 4094u);
  EXPECT_EQ(str_right_fill("ab", 4097, ' ').size(), 4096u);

  const std::string long_text(5000, 'x');
  EXPECT_EQ(str_left_fill(long_text, 10000, '0'), long_text);
}

TEST(utilConvert, Str2boolWords) {
  const char* yes[] = {"Yes", "yes", "TRUE", "On", "ENABLE", "enabled", "1", "10", "one"};
  const char* no[] = {"y", "t", "no", "off", "0", "", " yes", "tru", "enabl", "false"};
  for (const char* word : yes) EXPECT_TRUE(str2bool(word)) << '"' << word << '"';
  for (const char* word : no) EXPECT_FALSE(str2bool(word)) << '"' << word << '"';
}

TEST(utilConvert, IntegerParsingStatusCodes) {
  const int kUntouched = -777;
  struct Case {
    std::string text;
    int base;
    int status;
    int value;         // kUntouched when the target must keep its value
    unsigned int end;  // checked only on success
  };
  const Case cases[] = {
      {"42", 10, 0, 42, 2},
      {"42abc", 10, 0, 42, 2},
      {"  42", 10, 0, 42, 4},
      {"+7", 10, 0, 7, 2},
      {"-2147483648", 10, 0, -2147483647 - 1, 11},
      {"2147483647", 10, 0, 2147483647, 10},
      {"0x1f", 0, 0, 31, 4},
      {"017", 0, 0, 15, 3},
      {"ff", 16, 0, 255, 2},
      {"abc", 10, -1, kUntouched, 0},
      {"", 10, -1, kUntouched, 0},
      {"   ", 10, -1, kUntouched, 0},
      {"-", 10, -1, kUntouched, 0},
      {"2147483648", 10, -2, kUntouched, 0},
      {"99999999999", 10, -2, kUntouched, 0},
      {"-99999999999", 10, -2, kUntouched, 0},
      {"999999999999999999999999", 10, -2, kUntouched, 0},
      {"42", 1, -3, kUntouched, 0},
      {"42", 37, -3, kUntouched, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("\"" + c.text + "\" base " + std::to_string(c.base));
    int value = kUntouched;
    unsigned int end = 12345;
    EXPECT_EQ(_stoi(c.text, &value, &end, c.base), c.status);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(end, c.status == 0 ? c.end : 12345u);
    value = kUntouched;
    EXPECT_EQ(_stoi(c.text, &value, nullptr, c.base), c.status);  // null end is allowed
  }
}

TEST(utilConvert, WideIntegerParsingRanges) {
  struct Case {
    std::string text;
    int status64;
    long long value64;
    int status32;  // _stol: the range of a 32-bit long
  };
  const Case cases[] = {
      {"9007199254740993", 0, 9007199254740993LL, -2},
      {"9223372036854775807", 0, 9223372036854775807LL, -2},
      {"-9223372036854775808", 0, -9223372036854775807LL - 1, -2},
      {"9223372036854775808", -2, 0, -2},
      {"2147483647", 0, 2147483647LL, 0},
      {"2147483648", 0, 2147483648LL, -2},
      {"-2147483648", 0, -2147483648LL, 0},
      {"x1", -1, 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    long long value = -1;
    EXPECT_EQ(_stoi64(c.text, &value, nullptr, 10), c.status64);
    EXPECT_EQ(value, c.status64 == 0 ? c.value64 : -1);
    value = -1;
    EXPECT_EQ(_stol(c.text, &value, nullptr, 10), c.status32);
    if (c.status32 == 0) EXPECT_EQ(value, c.value64);
    else EXPECT_EQ(value, -1);
  }
}

TEST(utilConvert, FloatingParsingStatusCodes) {
  struct Case {
    std::string text;
    int status;
    double value;  // -777 when untouched
    unsigned int end;
  };
  const Case cases[] = {
      {"12.5", 0, 12.5, 4},
      {"1,5", 0, 1.0, 1},
      {"1e3", 0, 1000.0, 3},
      {" -0.25x", 0, -0.25, 6},
      {"0x1p4", 0, 16.0, 5},
      {"abc", -1, -777, 0},
      {"", -1, -777, 0},
      {".", -1, -777, 0},
      {"1e999", -2, -777, 0},
      {"-1e999", -2, -777, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    double value = -777;
    unsigned int end = 999;
    EXPECT_EQ(_stod(c.text, &value, &end), c.status);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(end, c.status == 0 ? c.end : 999u);
  }
  double value = 0;
  EXPECT_EQ(_stod("inf", &value, nullptr), 0);
  EXPECT_TRUE(std::isinf(value));
}

TEST_F(utilConvertLocale, NarrowFoldingKeepsCyrillicWideFoldingChangesIt) {
  std::string narrow = "abc-где";
  toUpper(narrow);
  EXPECT_EQ(narrow, "ABC-где");
  toLower(narrow);
  EXPECT_EQ(narrow, "abc-где");

  std::wstring wide = L"abc-где";
  toUpper(wide);
  EXPECT_EQ(wide, L"ABC-ГДЕ");
  toLower(wide);
  EXPECT_EQ(wide, L"abc-где");

  std::string upper = "ДА";
  toLower(upper);
  EXPECT_EQ(upper, "ДА");
}

TEST(utilConvert, SplitForms) {
  using Parts = std::vector<std::string>;
  struct Case {
    std::string text;
    Parts by_char;    // split(text, ',')
    Parts by_string;  // split(text, ",")
  };
  const Case cases[] = {
      {"a,,b", {"a", "", "b"}, {"a", "", "b"}},
      {"a,b,", {"a", "b"}, {"a", "b", ""}},
      {"", {}, {""}},
      {",", {""}, {"", ""}},
      {"abc", {"abc"}, {"abc"}},
      {",a", {"", "a"}, {"", "a"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(split(c.text, ','), c.by_char);
    EXPECT_EQ(split(c.text, std::string(",")), c.by_string);
  }
  EXPECT_EQ(split("a::b:c::", std::string("::")), (Parts{"a", "b:c", ""}));
  EXPECT_EQ(split("a,b", std::string()), (Parts{"a,b"}));
}

TEST_F(utilConvertLocale, WideBuffersConvertUtf8AndStopAtBadBytes) {
  struct Case {
    std::string text;
    std::wstring wide;
  };
  const Case cases[] = {
      {"abc-где", L"abc-где"},
      {"", L""},
      {"ab\xFF" "cd", L"ab"},      // invalid byte: cut there
      {"ab\xD0", L"ab"},          // truncated sequence: cut there
      {"Ошибка: 5", L"Ошибка: 5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    wchar_t* from_c = str2wc(c.text.c_str());
    EXPECT_EQ(std::wstring(from_c), c.wide);
    wfree(from_c);
    wchar_t* from_string = str2wc(c.text);
    EXPECT_EQ(std::wstring(from_string), c.wide);
    wfree(from_string);
  }
  wchar_t* none = str2wc(static_cast<const char*>(nullptr));
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none[0], L'\0');
  wfree(none);
  wfree(nullptr);
  cfree(nullptr);

  char* copy = str2cbuf("где");
  EXPECT_STREQ(copy, "где");
  cfree(copy);
}

TEST_F(utilConvertLocale, FixedSizeConversionsStayInsideTheirBuffer) {
  // "где" is three characters, six UTF-8 bytes.
  char* five = wtoc(L"где", 5);  // two characters fit, then the NUL
  EXPECT_EQ(std::memcmp(five, "гд", 5), 0);
  cfree(five);
  char* four = wtoc(L"где", 4);  // exactly full: no NUL
  EXPECT_EQ(std::memcmp(four, "гд", 4), 0);
  cfree(four);
  char* three = wtoc(L"где", 3);  // "д" would not fit whole
  EXPECT_STREQ(three, "г");
  cfree(three);
  char* roomy = wtoc(L"где", 16);
  EXPECT_STREQ(roomy, "где");
  cfree(roomy);

  wchar_t* two = ctow("где", 2);  // full: no NUL
  EXPECT_EQ(two[0], L'г');
  EXPECT_EQ(two[1], L'д');
  wfree(two);
  wchar_t* bad = ctow("a\xFFz", 8);
  EXPECT_EQ(std::wstring(bad), L"a");
  wfree(bad);
  wchar_t* all = ctow("где", 8);
  EXPECT_EQ(std::wstring(all), L"где");
  wfree(all);
}

}  // namespace

// The console log writes a text that is well-formed UTF-8 as it is instead
// of sending it through wide characters and back, so the C library's round
// trip must give such a text back unchanged; and whatever it does with a
// text that is not, it keeps the well-formed start. Checked over every one-
// and two-byte sequence, every three-byte sequence with a three-byte lead,
// four-byte sequences around each boundary of the second to fourth byte, and
// NUL inside a text.
TEST_F(utilConvertLocale, WellFormedPrefixIsWhatTheWideRoundTripKeeps) {
  auto roundTrip = [](const std::string& text) {
    wchar_t* wide = str2wc(text);
    std::string out;
    std::mbstate_t state{};
    char buf[MB_LEN_MAX];
    for (const wchar_t* p = wide; *p != L'\0'; ++p) {
      const size_t n = std::wcrtomb(buf, *p, &state);
      if (n == static_cast<size_t>(-1)) break;
      out.append(buf, n);
    }
    wfree(wide);
    return out;
  };
  std::vector<std::string> texts = {"", "plain", "Ошибка: 5", std::string("ab\0cd", 5),
                                    "где\xD0", "\xF0\x9F\x98\x80 ok"};
  for (int a = 0; a < 256; ++a) {
    texts.push_back(std::string("x") + static_cast<char>(a) + "y");
    for (int b = 0; b < 256; ++b) texts.push_back(std::string("x") + char(a) + char(b) + "y");
  }
  for (int a = 0xE0; a <= 0xEF; ++a) {
    for (int b = 0; b < 256; ++b) {
      for (int c = 0; c < 256; ++c) texts.push_back({'x', char(a), char(b), char(c), 'y'});
    }
  }
  const int edges[] = {0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF};
  for (int a = 0xF0; a <= 0xFF; ++a) {
    for (int b = 0; b < 256; ++b) {
      for (int c : edges) {
        for (int d : edges) texts.push_back({'x', char(a), char(b), char(c), char(d), 'y'});
      }
    }
  }
  std::size_t differ = 0;
  std::string example;
  for (const std::string& text : texts) {
    const std::size_t prefix = wellFormedUtf8Prefix(text);
    const std::string kept = roundTrip(text);
    const bool agrees = prefix == text.size() ? kept == text
                                              : kept.compare(0, prefix, text, 0, prefix) == 0 &&
                                                    kept.size() >= prefix;
    if (agrees) continue;
    if (differ++ == 0) example = text;
  }
  EXPECT_EQ(differ, 0u) << "first text that differs, in hex bytes: " << [&] {
    std::string hex;
    char byte[4];
    for (unsigned char c : example) {
      std::snprintf(byte, sizeof byte, "%02X ", c);
      hex += byte;
    }
    return hex;
  }();
}
