#include "service/server.h"

#include "runner/runner.h"

tavrelRunner objRun;
tavrelRunner* pRun = nullptr;
std::mutex lock_conns;
std::atomic<int> force_exit{0};
bool detach = true;

void server_lock() { lock_conns.lock(); }
void server_unlock() { lock_conns.unlock(); }

int endRunner(tavrelRunner* runner) { return runner ? runner->endTavrelCRM() : 0; }
