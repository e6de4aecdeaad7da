// Every answer parser of the processing centre's families: the deserialize
// of Card_Output, Payment_Output, Rtrn_Output, Commit_Output, Undo_Output
// and Connection_Output, each on a fresh output and then once more on the
// same output (as a message set's output is reused after its clear).
//
// The connection check reads its answer inside
// Connection_Proxy::getConnectionCheck, right after the transfer, and
// there is no way to reach that code without one; the steps it takes on
// the answer text are repeated here: JsonParse, the object test, and the
// top-level "err" and "errmsg" through readText.
//
// Checked: no parser throws, and each gives one of its documented codes
// (0, 3 no block, 5 not a JSON object, 14 empty, which an empty text gives).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <json/json.h>

#include "interface/cards.h"
#include "interface/commits.h"
#include "interface/connect.h"
#include "interface/message_fields.h"
#include "interface/payment.h"
#include "interface/rtrn.h"
#include "interface/undo.h"
#include "util/json_value.h"

namespace {

void fail(const char* what, const std::string& text) {
  std::fprintf(stderr, "answers: %s: [%s]\n", what, text.c_str());
  std::abort();
}

template <class Output>
void parseTwice(const std::string& text) {
  Output output;
  for (int round = 0; round < 2; ++round) {
    const int code = output.deserialize(text);
    if (code != 0 && code != 3 && code != 5 && code != 14) fail("unknown answer code", text);
    if (text.empty() && code != 14) fail("empty answer not judged empty", text);
  }
}

void connectionCheck(const std::string& text) {
  interface::connect::Connection_Output output;
  Json::Value answer;
  if (text.empty() || !JsonParse(text, answer) || !answer.isObject()) return;
  interface::readText("err", answer, &output.err);
  interface::readText("errmsg", answer, &output.errmsg);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  parseTwice<interface::cards::Card_Output>(text);
  parseTwice<interface::payment::Payment_Output>(text);
  parseTwice<interface::rtrn::Rtrn_Output>(text);
  parseTwice<interface::commits::Commit_Output>(text);
  parseTwice<interface::undo::Undo_Output>(text);
  parseTwice<interface::connect::Connection_Output>(text);
  connectionCheck(text);
  return 0;
}
