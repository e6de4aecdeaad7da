#include "util/convert.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <initializer_list>
#include <sstream>

// ---- Number to text ----

std::string n2str(int value) { return std::to_string(value); }
std::string n2str(long value) { return std::to_string(value); }
std::string n2str(long long value) { return std::to_string(value); }
std::string n2str(double value) { return dbl2str(value, 6); }

CText n2Cstr(int value) { return CText(n2str(value)); }
CText n2Cstr(long value) { return CText(n2str(value)); }
CText n2Cstr(long long value) { return CText(n2str(value)); }
CText n2Cstr(double value) { return CText(n2str(value)); }

// std::to_chars rounds the exact binary value exactly as printf's "%.*f"
// does, and always writes "." whatever the process locale says.
std::string dbl2str(double value, int digits) {
  if (digits < 0) digits = 0;
  // Sign, up to 309 integral digits, the point and the decimals. Amounts
  // are written for every cheque line, so the usual few decimals go through
  // a buffer on the stack instead of a zero-filled string.
  const size_t room = static_cast<size_t>(digits) + 320;
  char local[400];
  std::string large;
  char* buffer = local;
  if (room > sizeof local) {
    large.assign(room, '\0');
    buffer = large.data();
  }
  std::to_chars_result r =
      std::to_chars(buffer, buffer + room, value, std::chars_format::fixed, digits);
  return std::string(buffer, r.ptr);
}

// ---- Padding ----

namespace {

const int kMaxFillWidth = 4096;

// How many fill characters bring `text` up to min(width, kMaxFillWidth).
size_t fill_count(const std::string& text, int width) {
  if (width <= 0) return 0;
  const size_t limit = static_cast<size_t>(width < kMaxFillWidth ? width : kMaxFillWidth);
  return text.size() < limit ? limit - text.size() : 0;
}

}  // namespace

std::string str_left_fill(const std::string& text, int width, char fill) {
  return std::string(fill_count(text, width), fill) + text;
}

std::string str_right_fill(const std::string& text, int width, char fill) {
  return text + std::string(fill_count(text, width), fill);
}

// ---- Yes/no words ----

bool str2bool(const std::string& text) {
  if (text.empty()) return false;
  std::string word = text;
  toLower(word);
  for (const char* yes : {"yes", "true", "on", "enable", "1"}) {
    if (word.compare(0, std::strlen(yes), yes) == 0) return true;
  }
  return false;
}

// ---- Case folding ----

void toUpper(std::string& text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

void toLower(std::string& text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

void toUpper(std::wstring& text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
}

void toLower(std::wstring& text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
}

// ---- Parsing with status codes ----

namespace {

const int kParsedOk = 0;
const int kNoNumber = -1;
const int kOutOfRange = -2;
const int kOtherFailure = -3;

// strtoll with the checks of std::stoll, std::stoi and std::stol, but
// reporting through a status instead of an exception.
int parse_integer(const std::string& text, long long low, long long high, long long* result,
                  unsigned int* end, int base) {
  if (base != 0 && (base < 2 || base > 36)) return kOtherFailure;
  const char* begin = text.c_str();
  char* stop = nullptr;
  errno = 0;
  const long long value = std::strtoll(begin, &stop, base);
  if (stop == begin) return kNoNumber;
  if (errno == ERANGE || value < low || value > high) return kOutOfRange;
  if (errno != 0) return kOtherFailure;
  *result = value;
  if (end != nullptr) *end = static_cast<unsigned int>(stop - begin);
  return kParsedOk;
}

}  // namespace

int _stoi(const std::string& text, int* result, unsigned int* end, int base) {
  if (result == nullptr) return kOtherFailure;
  long long value = 0;
  const int status = parse_integer(text, INT_MIN, INT_MAX, &value, end, base);
  if (status == kParsedOk) *result = static_cast<int>(value);
  return status;
}

int _stol(const std::string& text, long long* result, unsigned int* end, int base) {
  if (result == nullptr) return kOtherFailure;
  return parse_integer(text, INT32_MIN, INT32_MAX, result, end, base);
}

int _stoi64(const std::string& text, long long* result, unsigned int* end, int base) {
  if (result == nullptr) return kOtherFailure;
  return parse_integer(text, LLONG_MIN, LLONG_MAX, result, end, base);
}

int _stod(const std::string& text, double* result, unsigned int* end) {
  if (result == nullptr) return kOtherFailure;
  const char* begin = text.c_str();
  char* stop = nullptr;
  errno = 0;
  const double value = std::strtod(begin, &stop);
  if (stop == begin) return kNoNumber;
  if (errno == ERANGE) return kOutOfRange;  // overflow and underflow, as std::stod
  if (errno != 0) return kOtherFailure;
  *result = value;
  if (end != nullptr) *end = static_cast<unsigned int>(stop - begin);
  return kParsedOk;
}

// ---- Splitting ----

std::vector<std::string> split(const std::string& text, char delimiter) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  std::string part;
  while (std::getline(in, part, delimiter)) parts.push_back(part);
  return parts;
}

std::vector<std::string> split(const std::string& text, std::string delimiter) {
  std::vector<std::string> parts;
  if (delimiter.empty()) {
    parts.push_back(text);
    return parts;
  }
  size_t from = 0;
  for (size_t at = text.find(delimiter); at != std::string::npos;
       at = text.find(delimiter, from)) {
    parts.push_back(text.substr(from, at - from));
    from = at + delimiter.size();
  }
  parts.push_back(text.substr(from));
  return parts;
}

// ---- Wide and narrow buffers ----

namespace {

// Converts the multibyte text (UTF-8 under the process locale) into `out`,
// which has room for `room` (> 0) wide characters, and terminates it.
// Conversion stops at the first byte sequence that is invalid or
// incomplete, so a bad byte cuts the text there.
void multibyte_to_wide(const char* text, wchar_t* out, size_t room) {
  size_t n = 0;
  if (text != nullptr) {
    std::mbstate_t state{};
    const char* p = text;
    size_t left = std::strlen(text);
    while (n + 1 < room && left > 0) {
      wchar_t wc = L'\0';
      const size_t used = std::mbrtowc(&wc, p, left, &state);
      if (used == 0 || used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2)) break;
      out[n++] = wc;
      p += used;
      left -= used;
    }
  }
  out[n] = L'\0';
}

}  // namespace

wchar_t* str2wc(const char* text) {
  const size_t length = text == nullptr ? 0 : std::strlen(text);
  const size_t room = 4 * length + 1;
  wchar_t* buffer = new wchar_t[room];
  multibyte_to_wide(text, buffer, room);
  return buffer;
}

wchar_t* str2wc(const std::string& text) {
  const size_t room = text.size() + 1;
  wchar_t* buffer = new wchar_t[room];
  multibyte_to_wide(text.c_str(), buffer, room);
  return buffer;
}

void wfree(wchar_t* buffer) { delete[] buffer; }

char* str2cbuf(const std::string& text) {
  char* buffer = new char[text.size() + 1];
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return buffer;
}

void cfree(char* buffer) { delete[] buffer; }

// Like wcstombs into a buffer of exactly `size_bytes`: a character whose
// bytes do not fit, or that has no multibyte form, ends the text there. A
// result that fills the buffer has no terminating NUL.
char* wtoc(const wchar_t* text, unsigned int size_bytes) {
  char* buffer = new char[size_bytes == 0 ? 1 : size_bytes];
  size_t n = 0;
  if (text != nullptr) {
    std::mbstate_t state{};
    char bytes[MB_LEN_MAX];
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
      const size_t used = std::wcrtomb(bytes, *p, &state);
      if (used == static_cast<size_t>(-1) || n + used > size_bytes) break;
      std::memcpy(buffer + n, bytes, used);
      n += used;
    }
  }
  if (n < size_bytes) buffer[n] = '\0';
  return buffer;
}

// Like mbstowcs into a buffer of exactly `size_chars` wide characters; an
// invalid or incomplete sequence ends the text there. A result that fills
// the buffer has no terminating NUL.
wchar_t* ctow(const char* text, unsigned int size_chars) {
  wchar_t* buffer = new wchar_t[size_chars == 0 ? 1 : size_chars];
  size_t n = 0;
  if (text != nullptr) {
    std::mbstate_t state{};
    const char* p = text;
    size_t left = std::strlen(text);
    while (n < size_chars && left > 0) {
      wchar_t wc = L'\0';
      const size_t used = std::mbrtowc(&wc, p, left, &state);
      if (used == 0 || used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2)) break;
      buffer[n++] = wc;
      p += used;
      left -= used;
    }
  }
  if (n < size_chars) buffer[n] = L'\0';
  return buffer;
}

size_t utf8Sequence(const unsigned char* p, const unsigned char* end, size_t* skip) {
  const unsigned char lead = *p;
  size_t continuation = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuation = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    continuation = 2;
    if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
    if (lead == 0xED) high = 0x9F;  // surrogates U+D800..U+DFFF
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    continuation = 3;
    if (lead == 0xF0) low = 0x90;   // overlong below U+10000
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    *skip = 1;  // a continuation byte alone, C0, C1 or F5..FF
    return 0;
  }
  size_t length = 1;
  for (; length <= continuation; ++length) {
    if (static_cast<size_t>(end - p) == length) break;
    const unsigned char next = p[length];
    if (next < low || next > high) break;
    low = 0x80;
    high = 0xBF;
  }
  if (length > continuation) return length;
  *skip = length;
  return 0;
}

size_t wellFormedUtf8Prefix(const std::string& text) {
  const unsigned char* const begin = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* const end = begin + text.size();
  const unsigned char* p = begin;
  while (p < end && *p != 0) {
    if (*p < 0x80) {
      ++p;
      continue;
    }
    size_t skip = 0;
    const size_t length = utf8Sequence(p, end, &skip);
    if (length == 0) break;
    p += length;
  }
  return static_cast<size_t>(p - begin);
}

std::string firstCharacter(const std::string& text) {
  if (text.empty()) return std::string();
  const unsigned char lead = static_cast<unsigned char>(text[0]);
  std::size_t length = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  }
  if (length > text.size()) return text.substr(0, 1);
  for (std::size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return text.substr(0, 1);
  }
  return text.substr(0, length);
}
