// FrameOperation: what one runner operation adds to the operation frame.
//
// Every operation runs the same frame (tavrelRunner::runFrame): a private
// copy of the call context, the attempt loop, the reply built from the
// outcome, the message set kept for later. An operation kind overrides only
// the steps that differ for it.
#ifndef NORVALEN_RUNNER_OPERATION_FRAME_H_
#define NORVALEN_RUNNER_OPERATION_FRAME_H_

#include <string>

#include <json/json.h>

#include "interface/message_base.h"
#include "service/commands.h"

struct WS_ctx;
class tavrelRunner;
class tavrelCardInfo;

class FrameOperation {
 public:
  explicit FrameOperation(tavrelRunner& runner) : runner_(runner) {}
  virtual ~FrameOperation() = default;

  // The command code stored as the last command after the loop; CMD_CONNECT
  // leaves the last command unchanged.
  virtual CmdCodes code() const = 0;
  // Connect works without a card record and touches the reply at none of
  // its early exits.
  virtual bool isConnectionCheck() const { return false; }
  // Logged (and replied with 18) when no private call context can be had.
  virtual std::string busyText() const;
  // The first words of the opening line, followed by the endpoint and " )".
  virtual std::string openingText() const = 0;
  // Checks made between the opening line and the attempt loop (commit and
  // undo); a non-zero code ends the operation with `reply` as it is.
  virtual int preconditions(Json::Value& reply) {
    (void)reply;
    return 0;
  }

  // The kept message set of this kind.
  virtual void clearSet() = 0;
  virtual void createSet(WS_ctx* ctx) = 0;
  virtual interface::InputInterfaces* input() = 0;
  virtual interface::OutputInterfaces* output() = 0;

  // Reads the POS request into the input; a code other than 0 ends the loop
  // as a validation failure with formatText(code).
  virtual int readRequest(const Json::Value& block);
  virtual std::string formatText(int code) const;
  // Operation-specific work before the call (the journal row).
  virtual void prepare(const Json::Value& block) { (void)block; }
  // The processing request body.
  virtual std::string requestText(const Json::Value& block);
  virtual int callProxy() = 0;
  virtual const char* debugRecvPrefix() const { return "DEBUG : RECV ON POST <= "; }

  // Reply members added on an answered call (card members) or on a failed
  // one ending with -1 or 22 (member status).
  virtual void addAnswerMembers(Json::Value& reply) { (void)reply; }
  virtual void addNoLinkMembers(Json::Value& reply) { (void)reply; }
  // Work after the loop, before the proxy is released (the journal reply).
  virtual void afterLoop(const Json::Value& reply, int result) {
    (void)reply;
    (void)result;
  }
  // Releases what the operation does not keep: the proxy (the connection
  // check releases its whole set).
  virtual void releaseAfterLoop() = 0;

 protected:
  tavrelRunner& runner_;
};

#endif  // NORVALEN_RUNNER_OPERATION_FRAME_H_
