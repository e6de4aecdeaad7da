// The operation log and the error log: standard output and standard error
// (in daemon mode the log file and the error file they were reopened on).
#ifndef NORVALEN_SERVICE_LOG_H_
#define NORVALEN_SERVICE_LOG_H_

#include <string>

// Writes one line "(YYYY-MM-DD hh:mm:ss): text" and flushes. `whereLog` 0 is
// standard output, 1 standard error; other values and a null text write
// nothing. With `wide` the UTF-8 text goes through the wide-character form
// under "ru_RU.UTF-8" (the console form); otherwise the bytes go unchanged.
// Each line is composed first and written with one call, so lines from
// different threads never interleave.
void log(const char* text, int whereLog, bool wide);
void log(const std::string& text, int whereLog, bool wide);

// Writes `text` (UTF-8) through its wide-character form to standard output
// (`whereLog` 0) or standard error (1), with no time stamp: the help and
// version output and other console texts.
void wide_write(const std::string& text, int whereLog);

// The current local date and time as 14 digits YYYYMMDDhhmmss.
std::string get_cur_evdate_str();

#endif  // NORVALEN_SERVICE_LOG_H_
