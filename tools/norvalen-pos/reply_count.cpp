#include "reply_count.h"

#include <algorithm>
#include <vector>

#include "service/session.h"
#include "util/json_value.h"

namespace {

constexpr char kEndCommand[] = "End";

const ReplyExpectation kOneError{1, false};

}  // namespace

ReplyExpectation ExpectReplies(const std::string& request, const std::string& root) {
  Json::Value parsed;
  if (!JsonParse(request, parsed) || !parsed.isObject()) return kOneError;
  if (!root.empty() && !parsed.isMember(root)) return kOneError;
  const Json::Value& block = root.empty() ? parsed : parsed[root];
  if (!block.isObject() || block.size() > kMaxMembers) return kOneError;

  // std::string compares as unsigned bytes, which is the daemon's order.
  std::vector<std::string> names = block.getMemberNames();
  std::sort(names.begin(), names.end());
  ReplyExpectation expectation;
  for (const std::string& name : names) {
    if (name == kEndCommand) {
      expectation.holdsEnd = true;
      break;
    }
    ++expectation.replies;
  }
  return expectation;
}
