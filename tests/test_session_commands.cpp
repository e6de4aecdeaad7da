// A runner failure inside one command must neither end the process nor
// leave the operation lock held.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "service/server.h"
#include "service/session.h"
#include "util/json_value.h"

namespace {

TEST(SessionCommand, AFailureInsideTheRunnerAnswersTheSlotAndFreesTheLock) {
  struct Case {
    const char* name;
    std::function<void()> work;
  } cases[] = {
      {"std::exception", [] { throw std::runtime_error("broken"); }},
      {"JSON logic error", [] { Json::Value a(Json::arrayValue); (void)a["member"]; }},
      {"anything else", [] { throw 42; }},
  };
  for (const Case& c : cases) {
    Json::Value slot(Json::objectValue);
    slot["err"] = "0";
    runUnderLock(c.work, slot);
    Json::Value expected(Json::objectValue);
    expected["err"] = "-1";
    expected["errMsg"] = "Отсутствует соединение";
    EXPECT_EQ(slot, expected) << c.name;
    ASSERT_TRUE(lock_conns.try_lock()) << c.name << ": the lock stayed held";
    lock_conns.unlock();
  }
}

TEST(SessionCommand, WorkRunsUnderTheLock) {
  Json::Value slot;
  bool heldDuringWork = false;
  // Another session's view of the lock while the work runs.
  runUnderLock(
      [&] {
        std::thread other([&] {
          heldDuringWork = !lock_conns.try_lock();
          if (!heldDuringWork) lock_conns.unlock();
        });
        other.join();
      },
      slot);
  EXPECT_TRUE(heldDuringWork);
  EXPECT_TRUE(slot.isNull());
}

}  // namespace
