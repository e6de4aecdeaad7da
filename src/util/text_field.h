// The record convention for kept texts: an owned std::string member, read
// as a C string that is null when the text is empty, and set from a C string
// that may be null (taken as empty).
#ifndef NORVALEN_UTIL_TEXT_FIELD_H_
#define NORVALEN_UTIL_TEXT_FIELD_H_

#include <string>

// The text, or null when it is empty.
inline const char* TextOrNull(const std::string& text) {
  return text.empty() ? nullptr : text.c_str();
}

// Empties `member`, then copies `text` into it when it is not null.
inline void AssignText(std::string& member, const char* text) {
  member.clear();
  if (text != nullptr) member = text;
}

#endif  // NORVALEN_UTIL_TEXT_FIELD_H_
