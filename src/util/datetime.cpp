#include "util/datetime.h"

#include <cstdio>
#include <ctime>

#include "util/convert.h"

namespace _datetime {

namespace {

// Printed dates and times longer than this are not handed out.
const size_t kMaxShownLength = 40;

CText shown_if_short(const std::string& text) {
  if (text.size() >= kMaxShownLength) return CText();
  return CText(text);
}

std::string two_digits(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", n);
  return buf;
}

std::string four_digits(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d", n);
  return buf;
}

}  // namespace

// ---- date ----

date::date() : year_(0), month_(0), day_(0), fmt_(YMD), sep_("-") {}

date::date(const int& day, const int& month, const int& year)
    : year_(year), month_(month), day_(day), fmt_(YMD), sep_("-") {}

date::date(const long& yyyymmdd) : date() {
  if (yyyymmdd < 101 || yyyymmdd > 29991231) return;
  date candidate(static_cast<int>(yyyymmdd % 100), static_cast<int>(yyyymmdd / 100 % 100),
                 static_cast<int>(yyyymmdd / 10000));
  if (candidate.valid_date()) *this = candidate;
}

bool date::valid_date() const {
  if (year_ < 0 || month_ < 1 || month_ > 12 || day_ < 1 || day_ > 31) return false;
  switch (month_) {
    case 4: case 6: case 9: case 11:
      return day_ <= 30;
    case 2:
      return day_ <= 28 || (day_ == 29 && year_ % 4 == 0);
    default:
      return true;
  }
}

CText date::show_date() const {
  if (!valid_date()) return CText();
  const std::string y = four_digits(year_);
  const std::string m = two_digits(month_);
  const std::string d = two_digits(day_);
  const std::string& s = sep_;
  switch (fmt_) {
    case YMD: return shown_if_short(y + s + m + s + d);
    case YDM: return shown_if_short(y + s + d + s + m);
    case MDY: return shown_if_short(m + s + d + s + y);
    case MYD: return shown_if_short(m + s + y + s + d);
    case DMY: return shown_if_short(d + s + m + s + y);
    case DYM: return shown_if_short(d + s + y + s + m);
  }
  return CText();  // a format value outside the enumeration
}

// ---- time ----

time::time() : hour_(0), min_(0), sec_(0), msec_(0), sep_(":") {}

time::time(const int& hour, const int& minute, const int& second, const int& msec)
    : hour_(hour % 24), min_(minute % 60), sec_(second % 60), msec_(msec), sep_(":") {}

time::time(const long& seconds) : time() {
  const long s = seconds % 86400;
  hour_ = static_cast<int>(s / 3600);
  min_ = static_cast<int>(s % 3600 / 60);
  sec_ = static_cast<int>(s % 60);
}

void time::set_hour(const int& hour) {
  if (hour >= 0 && hour <= 23) hour_ = hour;
}

void time::set_min(const int& minute) {
  if (minute >= 0 && minute <= 59) min_ = minute;
}

void time::set_sec(const int& second) {
  if (second >= 0 && second <= 59) sec_ = second;
}

bool time::valid_time() const {
  return hour_ >= 0 && hour_ <= 23 && min_ >= 0 && min_ <= 59 && sec_ >= 0 && sec_ <= 59;
}

CText time::show_time() const {
  if (!valid_time()) return CText();
  return shown_if_short(two_digits(hour_) + sep_ + two_digits(min_) + sep_ + two_digits(sec_));
}

// ---- dateTime ----

namespace {

// The decimal value of text[pos, pos + len), all digits.
int digits_at(const std::string& text, size_t pos, size_t len) {
  int value = 0;
  _stoi(text.substr(pos, len), &value, nullptr, 10);
  return value;
}

}  // namespace

dateTime::dateTime(const std::string& text) {
  if (text.size() < 8) return;
  for (char c : text) {
    if (c < '0' || c > '9') return;
  }
  const std::string digits = str_right_fill(text, 14, '0');
  date_.set_year(digits_at(digits, 0, 4));
  date_.set_month(digits_at(digits, 4, 2));
  date_.set_day(digits_at(digits, 6, 2));
  time_.set_hour(digits_at(digits, 8, 2));
  time_.set_min(digits_at(digits, 10, 2));
  time_.set_sec(digits_at(digits, 12, 2));
  // The setters refuse out-of-range parts, so the time is always valid here
  // and only the date can make the value invalid.
  if (!date_.valid_date()) {
    date_.set_year(0);
    date_.set_month(0);
    date_.set_day(0);
  }
}

std::string dateTime::get_datetime_str() const {
  if (!valid()) return std::string();
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", date_.year(), date_.month(),
                date_.day(), time_.hour(), time_.min(), time_.sec());
  return buf;
}

CText dateTime::show_datetime(const std::string& sep) const {
  CText d = date_.show_date();
  CText t = time_.show_time();
  if (d.isNull() || t.isNull()) return CText();
  return CText(d.str() + sep + t.str());
}

std::string nowDateTime2Str() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[32];
  const size_t n = std::strftime(buf, sizeof buf, "%Y%m%d%H%M%S", &local);
  return std::string(buf, n);
}

}  // namespace _datetime
