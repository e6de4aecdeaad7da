// Cheque dates and times: parsing POS digit strings, validity, the printed
// forms for the processing centre and the numeric constructors.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "util/datetime.h"

namespace {

using _datetime::date;
using _datetime::dateTime;

std::string shown(const CText& text) { return text.isNull() ? "<null>" : text.str(); }

TEST(utilDateTime, ParsesPosDigitStrings) {
  struct Case {
    std::string text;
    std::string normalised;  // "" when not valid
  };
  const Case cases[] = {
      {"20240131", "20240131000000"},
      {"2024013112", "20240131120000"},
      {"202401311234", "20240131123400"},
      {"20240131123456", "20240131123456"},
      {"20240131235959123", "20240131235959"},  // digits after the 14th ignored
      {"00000101", "00000101000000"},           // year 0 is a year
      {"99991231235959", "99991231235959"},
      // Out-of-range hour, minute, second each stay 0; the rest is kept.
      {"20240131256099", "20240131000000"},
      {"20240131236099", "20240131230000"},
      {"20240131237099", "20240131230000"},
      {"20240131120575", "20240131120500"},
      // Not valid.
      {"20240230", ""},
      {"20241301", ""},
      {"20240001", ""},
      {"20240100", ""},
      {"20240431", ""},
      {"2024-01-31", ""},
      {"2024 0131", ""},
      {" 20240131", ""},
      {"+20240131", ""},
      {"1234567", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("\"" + c.text + "\"");
    const dateTime value(c.text);
    EXPECT_EQ(value.valid(), !c.normalised.empty());
    EXPECT_EQ(value.get_datetime_str(), c.normalised);
    if (c.normalised.empty()) {
      // An invalid text leaves the whole date zero.
      EXPECT_EQ(value.getDate().year(), 0);
      EXPECT_EQ(value.getDate().month(), 0);
      EXPECT_EQ(value.getDate().day(), 0);
    }
  }
  EXPECT_FALSE(dateTime().valid());
  EXPECT_EQ(dateTime().get_datetime_str(), "");
}

TEST(utilDateTime, LeapYearsWithoutTheCenturyRule) {
  struct Case {
    int year;
    bool leap;
  };
  const Case cases[] = {{2024, true}, {2000, true}, {1900, true}, {2100, true},
                        {2023, false}, {1901, false}, {0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.year);
    EXPECT_EQ(date(29, 2, c.year).valid_date(), c.leap);
    EXPECT_TRUE(date(28, 2, c.year).valid_date());
    EXPECT_FALSE(date(30, 2, c.year).valid_date());
  }
}

TEST(utilDateTime, DayAndMonthLimits) {
  const int days_in_month[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int month = 1; month <= 12; ++month) {
    SCOPED_TRACE(month);
    EXPECT_TRUE(date(days_in_month[month - 1], month, 2024).valid_date());
    EXPECT_FALSE(date(days_in_month[month - 1] + 1, month, 2024).valid_date());
    EXPECT_FALSE(date(0, month, 2024).valid_date());
  }
  EXPECT_FALSE(date(1, 0, 2024).valid_date());
  EXPECT_FALSE(date(1, 13, 2024).valid_date());
  EXPECT_FALSE(date(1, 1, -1).valid_date());
  EXPECT_FALSE(date().valid_date());
}

TEST(utilDateTime, ShowDateFormats) {
  struct Case {
    _datetime::date_fmt fmt;
    const char* text;
  };
  const Case cases[] = {
      {_datetime::YMD, "2024.03.05"}, {_datetime::YDM, "2024.05.03"},
      {_datetime::MDY, "03.05.2024"}, {_datetime::MYD, "03.2024.05"},
      {_datetime::DMY, "05.03.2024"}, {_datetime::DYM, "05.2024.03"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    date d(5, 3, 2024);
    d.set_dateFmt(c.fmt);
    d.set_dateSep(".");
    EXPECT_EQ(shown(d.show_date()), c.text);
  }

  date d(5, 3, 2024);
  EXPECT_EQ(d.dateFmt(), _datetime::YMD);
  EXPECT_EQ(d.dateSep(), "-");
  EXPECT_EQ(shown(d.show_date()), "2024-03-05");
  d.set_dateSep(static_cast<const char*>(nullptr));
  EXPECT_EQ(shown(d.show_date()), "20240305");
  d.set_year(12345);  // wider numbers are printed in full
  EXPECT_EQ(shown(d.show_date()), "123450305");
  d.set_year(7);
  EXPECT_EQ(shown(d.show_date()), "00070305");

  // The printed text must stay shorter than 40 characters.
  d.set_year(2024);
  d.set_dateSep(std::string(15, '/'));  // 8 digits + 30 = 38
  EXPECT_EQ(d.show_date().str().size(), 38u);
  d.set_dateSep(std::string(16, '/'));  // 8 digits + 32 = 40
  EXPECT_TRUE(d.show_date().isNull());

  EXPECT_TRUE(date(30, 2, 2024).show_date().isNull());
  EXPECT_EQ(static_cast<const char*>(date().show_date()), nullptr);
}

TEST(utilDateTime, TimeSettersAndShowTime) {
  _datetime::time t(7, 5, 9, 0);
  EXPECT_EQ(shown(t.show_time()), "07:05:09");
  t.set_timeSep("");
  EXPECT_EQ(shown(t.show_time()), "070509");
  t.set_timeSep(std::string(":"));

  t.set_hour(24);
  t.set_hour(-1);
  t.set_min(60);
  t.set_sec(-1);
  EXPECT_EQ(shown(t.show_time()), "07:05:09");  // all refused
  t.set_hour(23);
  t.set_min(59);
  t.set_sec(0);
  t.set_msec(-40);  // milliseconds are never checked
  EXPECT_EQ(shown(t.show_time()), "23:59:00");
  EXPECT_TRUE(t.valid_time());
  EXPECT_EQ(t.msec(), -40);

  const _datetime::time wrapped(25, 61, 119, 5);
  EXPECT_EQ(shown(wrapped.show_time()), "01:01:59");
  const _datetime::time negative(-1, 0, 0, 0);
  EXPECT_FALSE(negative.valid_time());
  EXPECT_TRUE(negative.show_time().isNull());
}

TEST(utilDateTime, NumericConstructors) {
  struct DateCase {
    long number;
    int year, month, day;
  };
  const DateCase dates[] = {
      {20240101, 2024, 1, 1},  {29991231, 2999, 12, 31}, {101, 0, 1, 1},
      {20240230, 0, 0, 0},     {30000101, 0, 0, 0},      {100, 0, 0, 0},
      {-20240101, 0, 0, 0},    {20241301, 0, 0, 0},
  };
  for (const DateCase& c : dates) {
    SCOPED_TRACE(c.number);
    const date d(c.number);
    EXPECT_EQ(d.year(), c.year);
    EXPECT_EQ(d.month(), c.month);
    EXPECT_EQ(d.day(), c.day);
  }

  struct TimeCase {
    long seconds;
    const char* text;
  };
  const TimeCase times[] = {
      {86399, "23:59:59"}, {90000, "01:00:00"}, {0, "00:00:00"},
      {3661, "01:01:01"},  {86400, "00:00:00"}, {-1, "<null>"},
  };
  for (const TimeCase& c : times) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(shown(_datetime::time(c.seconds).show_time()), c.text);
  }
}

TEST(utilDateTime, ShowDateTimeAndPartsForTheCentre) {
  dateTime value("20240305070509");
  EXPECT_EQ(shown(value.show_datetime(" ")), "2024-03-05 07:05:09");
  value.getDate().set_dateFmt(_datetime::DMY);
  value.getDate().set_dateSep(".");
  EXPECT_EQ(shown(value.getDate().show_date()), "05.03.2024");
  EXPECT_EQ(shown(value.getTime().show_time()), "07:05:09");
  EXPECT_TRUE(dateTime("20240230").show_datetime(" ").isNull());
}

TEST(utilDateTime, NowIsTheLocalTimeAsFourteenDigits) {
  auto local_now = [] {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d%H%M%S", &tm);
    return std::string(buf);
  };
  const std::string before = local_now();
  const std::string now = _datetime::nowDateTime2Str();
  const std::string after = local_now();
  ASSERT_EQ(now.size(), 14u);
  EXPECT_TRUE(now == before || now == after) << now;
  EXPECT_EQ(dateTime(now).get_datetime_str(), now);
}

}  // namespace
