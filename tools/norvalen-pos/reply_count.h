// How many reply lines the daemon sends for one request, so that the tool
// knows when a request has been answered in full.
#ifndef NORVALEN_POS_REPLY_COUNT_H_
#define NORVALEN_POS_REPLY_COUNT_H_

#include <string>

struct ReplyExpectation {
  int replies = 0;         // reply lines to wait for
  bool holdsEnd = false;   // the daemon closes the connection after them
};

// The daemon takes the members of the request block in ascending byte order
// of their names and answers each with one line, up to "End", which closes
// the connection without a reply. The block is the member `root` of the
// request object, or the whole object when `root` is empty. A request that
// the daemon cannot take apart (not JSON, also nested deeper than 1000
// levels; not an object, no `root` member, a block that is not an object,
// a block of more members than the daemon takes) gets one ERROR line; an
// empty block gets none.
ReplyExpectation ExpectReplies(const std::string& request, const std::string& root);

#endif  // NORVALEN_POS_REPLY_COUNT_H_
