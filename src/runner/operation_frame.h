// FrameOperation: what one runner operation adds to the operation frame.
//
// Every operation runs the same frame (tavrelRunner::runFrame): the card
// record, a private copy of the call context, the attempt loop with a fresh
// message set per attempt, the reply built from the outcome, the message set
// kept for later. An operation kind overrides only the steps that differ for
// it, and reaches the runner state it needs through the protected accessors
// here (the frame is the one friend of the runner).
//
// The steps, with their hooks:
//   card record       onCardRecord (before any early exit)
//   opening line      openingText, busyText
//   refusals          preconditions (nothing changed, nothing sent)
//   before the loop   beforeLoop (once per command)
//   each attempt      clearSet, createSet; the product-code settings of the
//                     input; readRequest (25, 27 and 3 have the frame's
//                     texts, other codes formatText); copyRequest (codes and
//                     texts of its own); prepare; requestText; callProxy
//   reply             addAnswerMembers (answered), addNoLinkMembers (-1, 22)
//   after the loop    afterLoop, releaseAfterLoop
#ifndef NORVALEN_RUNNER_OPERATION_FRAME_H_
#define NORVALEN_RUNNER_OPERATION_FRAME_H_

#include <string>
#include <type_traits>

#include <json/json.h>

#include "interface/message_base.h"
#include "interface/product_input.h"
#include "service/commands.h"

struct WS_ctx;
class tavrelRunner;
class tavrelCardInfo;
namespace interface {
namespace payment {
class Payment_Input;
}
namespace rtrn {
class Rtrn_Input;
}
}  // namespace interface

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
  // The card record, just made current; runs before any early exit.
  virtual void onCardRecord(tavrelCardInfo& card) { (void)card; }
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
  // Once per command, before the first attempt (the event time).
  virtual void beforeLoop() {}

  // The kept message set of this kind.
  virtual void clearSet() = 0;
  virtual void createSet(WS_ctx* ctx) = 0;
  virtual interface::InputInterfaces* input() = 0;
  virtual interface::OutputInterfaces* output() = 0;
  // The input when it sends purchase lines: the frame gives it the
  // register's article-code settings before readRequest. Null otherwise.
  virtual interface::ProductCodeInput* productInput() { return nullptr; }

  // Reads the POS request into the input; a code other than 0 ends the loop
  // as a validation failure. The texts of 25, 27 and 3 are the frame's;
  // formatText() is the operation's own text for any other code.
  virtual int readRequest(const Json::Value& block);
  virtual std::string formatText() const;
  // Completes the input from kept data (commit and undo); a code other than
  // 0 ends the loop with *failureText as the reply's text.
  virtual int copyRequest(std::string* failureText) {
    (void)failureText;
    return 0;
  }
  // Operation-specific work before the call (the card record, the journal
  // row).
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
  tavrelRunner& runner() { return runner_; }
  // The current card record (null only before the frame has made one).
  tavrelCardInfo* card();
  // The offline mark of the operation in progress.
  void markOffline(bool offline);
  // The requests of the last PayBonus and PayReturn, kept for the Commit or
  // Undo that settles them; null when there is none.
  const interface::payment::Payment_Input* keptPayment() const;
  const interface::rtrn::Rtrn_Input* keptReturn() const;

 private:
  tavrelRunner& runner_;
};

// The message-set steps of an operation kind whose set is `Set` (a
// MessageSet of the runner): created per attempt, the proxy released after
// the loop, the request and response objects kept. `Base` is the frame
// layer the operation builds on (FrameOperation, or JournalledOperation for
// the money operations).
template <class Set, class Base = FrameOperation>
class SetOperation : public Base {
 public:
  SetOperation(tavrelRunner& runner, Set& set) : Base(runner), set_(set) {}

  void clearSet() override { set_.clear(); }
  void createSet(WS_ctx* ctx) override { set_.create(ctx); }
  interface::InputInterfaces* input() override { return set_.input.get(); }
  interface::OutputInterfaces* output() override { return set_.output.get(); }
  interface::ProductCodeInput* productInput() override {
    if constexpr (std::is_base_of<interface::ProductCodeInput, InputType>::value) {
      return set_.input.get();
    } else {
      return nullptr;
    }
  }
  void releaseAfterLoop() override { set_.proxy.reset(); }

 protected:
  using InputType = typename decltype(Set::input)::element_type;
  Set& set() { return set_; }

 private:
  Set& set_;
};

#endif  // NORVALEN_RUNNER_OPERATION_FRAME_H_
