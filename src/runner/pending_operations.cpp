// Bonus payment and return, commit and undo join the
// runner with their message families. Until then the POS receives the
// frame's first reply for them, and nothing reaches the centre or the
// journal.
#include "runner/runner.h"

namespace {

int not_connected(Json::Value& reply) {
  reply = Json::Value(Json::objectValue);
  reply["err"] = "-1";
  reply["errMsg"] = "Отсутствует соединение";
  return -1;
}

}  // namespace

int tavrelRunner::runPaymentInfo(const Json::Value&, Json::Value& reply, bool) {
  return not_connected(reply);
}
int tavrelRunner::runRtrnInfo(const Json::Value&, Json::Value& reply, bool) {
  return not_connected(reply);
}
int tavrelRunner::runCommitInfo(const Json::Value&, Json::Value& reply, bool) {
  return not_connected(reply);
}
int tavrelRunner::runUndoInfo(const Json::Value&, Json::Value& reply, bool) {
  return not_connected(reply);
}
