// Connection check: does the processing centre answer at all? Run for the
// POS command "Connect" and once at start-up. It keeps no journal row, reads
// no card and leaves the last command as it was.
#include "interface/ws_ctx.h"
#include "runner/operation_frame.h"
#include "runner/runner.h"

namespace {

class ConnectionCheck : public SetOperation<ConnectionSet> {
 public:
  ConnectionCheck(tavrelRunner& runner, ConnectionSet& set) : SetOperation(runner, set) {}

  CmdCodes code() const override { return CMD_CONNECT; }
  bool isConnectionCheck() const override { return true; }
  std::string busyText() const override {
    return "Ошибка инициализации проверки соединения  : (система занята) ";
  }
  std::string openingText() const override { return "Проверка соединения с сервером : ( "; }
  // The whole request block is posted, whatever else it holds.
  std::string requestText(const Json::Value& block) override {
    return set().input->serialize(block);
  }
  int callProxy() override {
    return set().proxy->getConnectionCheck(set().input.get(), set().output.get());
  }
  const char* debugRecvPrefix() const override { return "DEBUG : ON POST RECV <= "; }
  void releaseAfterLoop() override { set().clear(); }
};

}  // namespace

int tavrelRunner::runConnInfo(const Json::Value& block, Json::Value& reply) {
  ConnectionCheck op(*this, connSet);
  return runFrame(op, block, reply);
}
