#include "service/log.h"

#include <langinfo.h>

#include <climits>
#include <clocale>
#include <cstring>
#include <cstdio>
#include <cwchar>
#include <ctime>

#include "util/convert.h"

namespace {

std::FILE* stream_for(int whereLog) {
  if (whereLog == 0) return stdout;
  if (whereLog == 1) return stderr;
  return nullptr;
}

// UTF-8 -> wide -> multibyte under the process character locale, which
// start-up sets to "ru_RU.UTF-8". Text that is not valid UTF-8 is cut at the
// first bad byte.
//
// Under a UTF-8 locale the round trip gives a well-formed UTF-8 text back
// unchanged, so such a text is taken as it is: the request and reply texts
// logged for every operation are long, and converting them character by
// character cost a quarter of the daemon's work per operation. Anything
// else takes the C library's own way, whose cut is the contract.
std::string through_wide(const std::string& text) {
  if (wellFormedUtf8Prefix(text) == text.size() &&
      std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0) {
    return text;
  }
  wchar_t* wide = str2wc(text.c_str());
  std::string out;
  std::mbstate_t state{};
  char buf[MB_LEN_MAX];
  for (const wchar_t* p = wide; p != nullptr && *p != L'\0'; ++p) {
    size_t n = std::wcrtomb(buf, *p, &state);
    if (n == static_cast<size_t>(-1)) break;
    out.append(buf, n);
  }
  wfree(wide);
  return out;
}

void write_whole(std::FILE* f, const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), f);
  std::fflush(f);
}

}  // namespace

void log(const char* text, int whereLog, bool wide) {
  std::FILE* f = stream_for(whereLog);
  if (f == nullptr || text == nullptr) return;
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "(%04d-%02d-%02d %02d:%02d:%02d): ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  std::string line = stamp;
  line += wide ? through_wide(text) : std::string(text);
  line += '\n';
  write_whole(f, line);
}

void log(const std::string& text, int whereLog, bool wide) { log(text.c_str(), whereLog, wide); }

void wide_write(const std::string& text, int whereLog) {
  std::FILE* f = stream_for(whereLog);
  if (f == nullptr) return;
  write_whole(f, through_wide(text));
}

std::string get_cur_evdate_str() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}
