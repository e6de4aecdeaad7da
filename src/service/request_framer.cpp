#include "service/request_framer.h"

namespace {

bool is_separator(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == '\0';
}

}  // namespace

void RequestFramer::scanByte(char c) {
  Scan& s = scan_;
  if (s.lineComment) {
    if (c == '\n') s.lineComment = false;
    s.prev = c;
    return;
  }
  if (s.blockComment) {
    if (s.prev == '*' && c == '/') {
      s.blockComment = false;
      s.prev = 0;
    } else {
      s.prev = c;
    }
    return;
  }
  if (s.inString) {
    if (s.escape) {
      s.escape = false;
    } else if (c == '\\') {
      s.escape = true;
    } else if (c == '"') {
      s.inString = false;
    }
    s.prev = c;
    return;
  }
  if (s.prev == '/' && c == '*') {
    s.blockComment = true;
    s.prev = 0;  // so that "/*/" does not close the comment
    return;
  }
  if (s.prev == '/' && c == '/') {
    s.lineComment = true;
    s.prev = 0;
    return;
  }
  if (c == '"') {
    s.inString = true;
  } else if (c == '{' || c == '[') {
    ++s.depth;
  } else if (c == '}' || c == ']') {
    --s.depth;
  }
  s.prev = c;
}

bool RequestFramer::scanValue() {
  while (pos_ < buffer_.size()) {
    if (pos_ >= kMaxRequest) return false;
    scanByte(buffer_[pos_++]);
    const char c = buffer_[pos_ - 1];
    if (scan_.depth <= 0 && !scan_.inString && !scan_.lineComment && !scan_.blockComment &&
        (c == '}' || c == ']')) {
      return true;
    }
  }
  return false;
}

bool RequestFramer::skipSeparators() {
  std::size_t i = 0;
  for (;;) {
    while (i < buffer_.size() && is_separator(buffer_[i])) ++i;
    if (i >= buffer_.size() || buffer_[i] != '/') break;
    if (i + 1 >= buffer_.size()) {  // a lone "/" may begin a comment
      buffer_.erase(0, i);
      return false;
    }
    if (buffer_[i + 1] == '*') {
      std::size_t end = buffer_.find("*/", i + 2);
      if (end == std::string::npos) {
        buffer_.erase(0, i);
        return false;
      }
      i = end + 2;
    } else if (buffer_[i + 1] == '/') {
      std::size_t end = buffer_.find('\n', i + 2);
      if (end == std::string::npos) {
        buffer_.erase(0, i);
        return false;
      }
      i = end + 1;
    } else {
      break;
    }
  }
  buffer_.erase(0, i);
  return true;
}

void RequestFramer::feed(const char* data, std::size_t length, std::vector<Item>* out) {
  bool afterValue = false;
  std::size_t start = 0;
  if (discarding_) {
    // Skip the rest of an oversized value without keeping it.
    while (start < length) {
      scanByte(data[start++]);
      const char c = data[start - 1];
      if (scan_.depth <= 0 && !scan_.inString && !scan_.lineComment && !scan_.blockComment &&
          (c == '}' || c == ']')) {
        discarding_ = false;
        afterValue = true;
        break;
      }
    }
    if (discarding_) return;
  }
  buffer_.append(data + start, length - start);

  for (;;) {
    if (!scanning_) {
      if (!skipSeparators() || buffer_.empty()) return;
      const char first = buffer_[0];
      if (first == '{' || first == '[') {
        scanning_ = true;
        pos_ = 0;
        scan_ = Scan();
      } else if (afterValue) {
        buffer_.clear();  // trailing text after a request
        return;
      } else {
        Item item;
        item.text = buffer_.substr(0, buffer_.find('\0'));
        out->push_back(item);
        buffer_.clear();
        return;
      }
    }
    if (scanValue()) {
      Item item;
      item.text = buffer_.substr(0, pos_);
      out->push_back(item);
      buffer_.erase(0, pos_);
      pos_ = 0;
      scanning_ = false;
      afterValue = true;
      continue;
    }
    if (pos_ >= kMaxRequest) {
      Item item;
      item.oversized = true;
      out->push_back(item);
      std::string rest = buffer_.substr(pos_);
      buffer_.clear();
      pos_ = 0;
      scanning_ = false;
      discarding_ = true;
      if (!rest.empty()) feed(rest.data(), rest.size(), out);
    }
    return;
  }
}
