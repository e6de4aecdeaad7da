// Dates and times of cheques and shifts. The POS sends them as digit strings,
// the journal keeps them as 14 digits YYYYMMDDhhmmss and the processing
// centre receives them as DD.MM.YYYY and hh:mm:ss.
//
// The show_* functions return a CText: it owns its text, so the pointer stays
// valid until the end of the caller's full expression; null when not valid.
#ifndef NORVALEN_UTIL_DATETIME_H_
#define NORVALEN_UTIL_DATETIME_H_

#include <string>

#include "util/ctext.h"

namespace _datetime {

// The order in which show_date prints the parts (year 4 digits, others 2).
enum date_fmt { YMD = 0, YDM = 1, MDY = 2, MYD = 3, DMY = 4, DYM = 5 };

class date {
 public:
  date();  // 0000-00-00: not valid; format YMD, separator "-"
  // Day, month and year in this order, stored unchecked.
  date(const int& day, const int& month, const int& year);
  // YYYYMMDD from 101 to 29991231; anything else, or a day that does not
  // exist, gives the zero date.
  explicit date(const long& yyyymmdd);

  int day() const { return day_; }
  int month() const { return month_; }
  int year() const { return year_; }
  date_fmt dateFmt() const { return fmt_; }
  std::string dateSep() const { return sep_; }

  void set_day(const int& day) { day_ = day; }
  void set_month(const int& month) { month_ = month; }
  void set_year(const int& year) { year_ = year; }
  void set_dateFmt(const date_fmt& fmt) { fmt_ = fmt; }
  void set_dateSep(const char* sep) { sep_ = sep == nullptr ? "" : sep; }
  void set_dateSep(const std::string& sep) { sep_ = sep; }

  // Year 0 or later, month 1-12, a day the month has. Every year divisible
  // by 4 is a leap year (no century rule).
  bool valid_date() const;
  // The date in its format with its separator; null when not valid.
  CText show_date() const;

 private:
  int year_;
  int month_;
  int day_;
  date_fmt fmt_;
  std::string sep_;
};

class time {
 public:
  time();  // 00:00:00.0, separator ":"
  // Hour mod 24, minute mod 60, second mod 60 (C remainders: a negative
  // operand gives a negative part, which is not valid); milliseconds as given.
  time(const int& hour, const int& minute, const int& second, const int& msec);
  // Seconds since midnight, taken mod 86400 (negative counts stay negative
  // and give a time that is not valid).
  explicit time(const long& seconds);

  int hour() const { return hour_; }
  int min() const { return min_; }
  int sec() const { return sec_; }
  int msec() const { return msec_; }
  std::string timeSep() const { return sep_; }

  // Out-of-range values leave the part unchanged.
  void set_hour(const int& hour);  // 0-23
  void set_min(const int& minute);  // 0-59
  void set_sec(const int& second);  // 0-59
  void set_msec(const int& msec) { msec_ = msec; }
  void set_timeSep(const char* sep) { sep_ = sep == nullptr ? "" : sep; }
  void set_timeSep(const std::string& sep) { sep_ = sep; }

  bool valid_time() const;  // milliseconds are not checked
  // hh s mm s ss; null when not valid.
  CText show_time() const;

 private:
  int hour_;
  int min_;
  int sec_;
  int msec_;
  std::string sep_;
};

class dateTime {
 public:
  dateTime() = default;  // zero date (not valid), 00:00:00
  // Digits only, at least 8: YYYYMMDD[hh[mm[ss]]], missing digits read as 0
  // and digits after the 14th ignored. An hour, minute or second out of range
  // stays 0; a date that does not exist leaves the whole date zero (so the
  // value is not valid). Any other text gives the zero value.
  explicit dateTime(const std::string& text);

  date& getDate() { return date_; }
  const date& getDate() const { return date_; }
  time& getTime() { return time_; }
  const time& getTime() const { return time_; }

  bool valid() const { return date_.valid_date() && time_.valid_time(); }
  // YYYYMMDDhhmmss when valid, else "".
  std::string get_datetime_str() const;
  // show_date, `sep`, show_time; null when either part is not valid.
  CText show_datetime(const std::string& sep) const;

 private:
  date date_;
  time time_;
};

// The current local time as YYYYMMDDhhmmss.
std::string nowDateTime2Str();

}  // namespace _datetime

#endif  // NORVALEN_UTIL_DATETIME_H_
