#include "support/runner_fixture.h"

#include <gtest/gtest.h>

#include "support/json_text.h"

RunnerUnderTest::RunnerUnderTest(const std::string& url, const std::string& settings) {
  Json::Value conf = ParseJson(settings);
  conf["ConnectionString"] = url;
  runner.set_dbfile(journalPath().c_str());
  runner.initFramework();
  runner.InitTavrelCRM(conf);
}

Json::Value RunnerUnderTest::ask(const std::string& command, const std::string& block, int* result) {
  const Json::Value request = ParseJson(block);
  Json::Value reply;
  reply["err"] = "-1";  // as the session writes it before CardInfo
  int code = -1;
  if (command == "CardInfo") {
    runner.clearCardInfo();
    code = runner.runCardInfo(request, reply);
  } else if (command == "PayBonus") {
    runner.clearPaymentInfo();
    code = runner.runPaymentInfo(request, reply, false);
  } else if (command == "PayReturn") {
    runner.clearRtrnInfo();
    code = runner.runRtrnInfo(request, reply, false);
  } else if (command == "Commit") {
    runner.clearCommitInfo();
    code = runner.runCommitInfo(request, reply, false);
  } else if (command == "Undo") {
    runner.clearUndoInfo();
    if (runner.isUndoAllow()) {
      code = runner.runUndoInfo(request, reply, false);
    } else {
      reply["errMsg"] = "Операция отмены в данный момент невозможна";
    }
  } else {
    ADD_FAILURE() << "no such command in the fixture: " << command;
  }
  if (result) *result = code;
  return reply;
}
