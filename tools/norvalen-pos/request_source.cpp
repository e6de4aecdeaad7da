#include "request_source.h"

#include <utility>

namespace {

bool is_blank(const std::string& text) {
  return text.find_first_not_of(" \t\r\n\f\v") == std::string::npos;
}

}  // namespace

RequestSource::RequestSource(std::vector<std::string> requests)
    : requests_(std::move(requests)) {}

RequestSource::RequestSource(std::istream* in) : in_(in) {}

bool RequestSource::next(std::string* request) {
  if (in_ == nullptr) {
    while (nextIndex_ < requests_.size()) {
      const std::string& candidate = requests_[nextIndex_++];
      if (!is_blank(candidate)) {
        *request = candidate;
        return true;
      }
    }
    return false;
  }
  std::string line;
  while (std::getline(*in_, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!is_blank(line)) {
      *request = line;
      return true;
    }
  }
  return false;
}
