// CText: a C string handed out by a helper that must stay valid until the
// end of the caller's full expression. It owns its text, so a temporary
// CText keeps the pointer alive exactly as long as the expression runs, with
// no shared buffer between threads. A null CText converts to a null pointer.
//
// The conversion is explicit: a pointer taken from a temporary and kept past
// the expression would dangle, and a null one handed to a JSON value or a
// std::string would crash. Use c_str() inside the expression, or str() /
// isNull() to keep the text.
#ifndef NORVALEN_UTIL_CTEXT_H_
#define NORVALEN_UTIL_CTEXT_H_

#include <string>

class CText {
 public:
  CText() : null_(true) {}
  explicit CText(std::string text) : text_(std::move(text)), null_(false) {}

  const char* c_str() const { return null_ ? nullptr : text_.c_str(); }
  explicit operator const char*() const { return c_str(); }
  bool isNull() const { return null_; }
  const std::string& str() const { return text_; }

 private:
  std::string text_;
  bool null_;
};

#endif  // NORVALEN_UTIL_CTEXT_H_
