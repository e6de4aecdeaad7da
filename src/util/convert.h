// Text and number conversions. Numbers are parsed and printed under the "C"
// numeric conventions; parsing reports failures through status codes
// (0 success, -1 no number, -2 out of range, -3 other) and never throws.
#ifndef NORVALEN_UTIL_CONVERT_H_
#define NORVALEN_UTIL_CONVERT_H_

#include <cstddef>
#include <string>
#include <vector>

#include "util/ctext.h"

std::string n2str(int value);
std::string n2str(long value);
std::string n2str(long long value);
std::string n2str(double value);  // "%f"
// A CText owns its text: the pointer is valid until the end of the caller's
// full expression, with no buffer shared between threads.
CText n2Cstr(int value);
CText n2Cstr(long value);
CText n2Cstr(long long value);
CText n2Cstr(double value);

// Fixed notation with `digits` decimals (a negative count means 0), rounded
// as printf does, always with "." whatever the numeric locale.
std::string dbl2str(double value, int digits);

// Pads `text` with `fill` up to min(width, 4096) bytes; never cuts.
std::string str_left_fill(const std::string& text, int width, char fill);
std::string str_right_fill(const std::string& text, int width, char fill);

// Yes/no words: true when the lower-cased text begins with "yes", "true",
// "on", "enable" or "1".
bool str2bool(const std::string& text);

// Byte-wise folding changes ASCII letters only; wide folding also Cyrillic.
void toUpper(std::string& text);
void toLower(std::string& text);
void toUpper(std::wstring& text);
void toLower(std::wstring& text);

// On failure the result and `*end` keep their previous values; `end` may be
// null. A base other than 0 or 2-36 gives -3. _stol checks the 32-bit range.
int _stoi(const std::string& text, int* result, unsigned int* end, int base);
int _stol(const std::string& text, long long* result, unsigned int* end, int base);
int _stoi64(const std::string& text, long long* result, unsigned int* end, int base);
int _stod(const std::string& text, double* result, unsigned int* end);

// The first character of `text`: one byte for ASCII, the whole sequence of a
// UTF-8 character, so that a one-letter code taken from a non-ASCII text is
// never half a letter. A byte that starts no complete sequence is taken
// alone; empty text gives empty text.
std::string firstCharacter(const std::string& text);

// The length of the well-formed UTF-8 sequence that starts with the byte
// at `p` (at least 0x80), or 0 when none does. Then `*skip` is the length of
// the part to replace: the lead byte and whatever continuation bytes still
// fitted it, which is the maximal part that could have begun a sequence.
// Overlong forms, surrogates and code points beyond U+10FFFF are refused by
// the ranges the second byte may take.
size_t utf8Sequence(const unsigned char* p, const unsigned char* end, size_t* skip);

// The length of the longest start of `text` that is well-formed UTF-8 and
// holds no NUL: what survives a conversion to wide characters under a UTF-8
// locale, which stops at the first bad sequence.
size_t wellFormedUtf8Prefix(const std::string& text);

std::vector<std::string> split(const std::string& text, char delimiter);
std::vector<std::string> split(const std::string& text, std::string delimiter);

// Wide and narrow buffers: the caller owns them and releases them with
// wfree / cfree (both accept null). Conversion follows the process character
// locale (UTF-8); text that is not valid there is cut at the first bad byte
// or unconvertible character, and the buffer is always terminated (a null
// text gives an empty one). wtoc and ctow fill a buffer of exactly the given
// size, leaving out a character that does not fit whole; a result that fills
// it has no terminating NUL.
wchar_t* str2wc(const char* text);
wchar_t* str2wc(const std::string& text);
void wfree(wchar_t* buffer);
char* str2cbuf(const std::string& text);
void cfree(char* buffer);
char* wtoc(const wchar_t* text, unsigned int size_bytes);
wchar_t* ctow(const char* text, unsigned int size_chars);

#endif  // NORVALEN_UTIL_CONVERT_H_
