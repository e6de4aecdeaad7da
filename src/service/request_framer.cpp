#include "service/request_framer.h"

#include <algorithm>
#include <utility>

namespace {

bool is_separator(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == '\0';
}

// Hands out `prefix` and data[0..length) up to the first NUL as one request.
void hand_out_text(const char* prefix, const char* data, std::size_t length,
                   std::vector<RequestFramer::Item>* out) {
  const char* end = std::find(data, data + length, '\0');
  RequestFramer::Item item;
  item.text.assign(prefix);
  item.text.append(data, static_cast<std::size_t>(end - data));
  out->push_back(std::move(item));
}

}  // namespace

bool RequestFramer::scanByte(char c) {
  Scan& s = scan_;
  if (s.lineComment) {
    if (c == '\n') s.lineComment = false;
    s.prev = c;
    return false;
  }
  if (s.blockComment) {
    if (s.prev == '*' && c == '/') {
      s.blockComment = false;
      s.prev = 0;
    } else {
      s.prev = c;
    }
    return false;
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
    return false;
  }
  if (s.prev == '/' && c == '*') {
    s.blockComment = true;
    s.prev = 0;  // so that "/*/" does not close the comment
    return false;
  }
  if (s.prev == '/' && c == '/') {
    s.lineComment = true;
    s.prev = 0;
    return false;
  }
  s.prev = c;
  if (c == '"') {
    s.inString = true;
  } else if (c == '{' || c == '[') {
    ++s.depth;
  } else if (c == '}' || c == ']') {
    return --s.depth <= 0;
  }
  return false;
}

void RequestFramer::countOpen(std::vector<Item>* out) {
  if (openReported_) return;
  if (++openBytes_ >= kMaxRequest) {
    openReported_ = true;  // the rest of the comment is skipped unreported
    Item item;
    item.oversized = true;
    out->push_back(std::move(item));
  }
}

void RequestFramer::scanGap(const char* data, std::size_t length, std::size_t* at,
                            bool afterValue, std::vector<Item>* out) {
  std::size_t i = *at;
  while (i < length) {
    const char c = data[i];
    switch (gap_) {
      case kBlank:
        if (is_separator(c)) {
          ++i;
        } else if (c == '/') {
          gap_ = kSlash;
          slashAfterValue_ = afterValue;
          openBytes_ = 0;
          openReported_ = false;
          ++i;
          countOpen(out);
        } else if (c == '{' || c == '[') {
          mode_ = kValue;
          scan_ = Scan();
          *at = i;
          return;
        } else {
          if (!afterValue) hand_out_text("", data + i, length - i, out);
          *at = length;  // the rest of the receive went with the text
          return;
        }
        break;
      case kSlash:
        if (c == '*' || c == '/') {
          gap_ = c == '*' ? kBlockComment : kLineComment;
          ++i;
          countOpen(out);
        } else {
          gap_ = kBlank;  // the "/" was text
          if (!afterValue && !slashAfterValue_) hand_out_text("/", data + i, length - i, out);
          *at = length;
          return;
        }
        break;
      case kLineComment:
        ++i;
        if (c == '\n') {
          gap_ = kBlank;
        } else {
          countOpen(out);
        }
        break;
      case kBlockComment:
        ++i;
        if (c == '*') gap_ = kBlockStar;
        countOpen(out);
        break;
      case kBlockStar:
        ++i;
        if (c == '/') {
          gap_ = kBlank;
        } else {
          if (c != '*') gap_ = kBlockComment;
          countOpen(out);
        }
        break;
    }
  }
  *at = i;
}

void RequestFramer::feed(const char* data, std::size_t length, std::vector<Item>* out) {
  bool afterValue = false;  // a value was completed earlier in this receive
  std::size_t at = 0;
  while (at < length) {
    switch (mode_) {
      case kGap:
        scanGap(data, length, &at, afterValue, out);
        break;
      case kSkipping:
        while (at < length) {
          if (scanByte(data[at++])) {
            mode_ = kGap;
            afterValue = true;
            break;
          }
        }
        break;
      case kValue: {
        const std::size_t start = at;
        bool complete = false;
        while (at < length && !complete && value_.size() + (at - start) < kMaxRequest) {
          complete = scanByte(data[at++]);
        }
        const std::size_t needed = value_.size() + (at - start);
        if (needed > value_.capacity()) {
          // Grow as usual, but never past the cap.
          value_.reserve(std::min(std::max(needed, 2 * value_.capacity()), kMaxRequest));
        }
        value_.append(data + start, at - start);
        if (complete) {
          Item item;
          item.text.swap(value_);
          out->push_back(std::move(item));
          mode_ = kGap;
          afterValue = true;
        } else if (value_.size() >= kMaxRequest) {
          Item item;
          item.oversized = true;
          out->push_back(std::move(item));
          std::string().swap(value_);
          mode_ = kSkipping;
        }
        break;
      }
    }
  }
}

void RequestFramer::flush(std::vector<Item>* out) {
  if (mode_ == kValue) {
    Item item;
    item.unfinished = true;
    item.text.swap(value_);
    out->push_back(std::move(item));
  } else if (mode_ == kGap && gap_ == kSlash && !slashAfterValue_) {
    Item item;
    item.text = "/";
    out->push_back(std::move(item));
  }
  reset();
}

bool RequestFramer::waiting() const { return mode_ != kGap || gap_ != kBlank; }

void RequestFramer::reset() {
  mode_ = kGap;
  gap_ = kBlank;
  openBytes_ = 0;
  openReported_ = false;
  slashAfterValue_ = false;
  std::string().swap(value_);
  scan_ = Scan();
}
