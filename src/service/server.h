// Process-wide state of the service: the one runner, the operation lock
// that serialises all runner work, the stop flag, and how log lines are
// written (wide console form in the foreground, bytes in daemon mode).
#ifndef NORVALEN_SERVICE_SERVER_H_
#define NORVALEN_SERVICE_SERVER_H_

#include <atomic>
#include <mutex>

class tavrelRunner;

extern tavrelRunner objRun;
extern tavrelRunner* pRun;
extern std::mutex lock_conns;
extern std::atomic<int> force_exit;
// False with -d: the service runs in the foreground and writes its console
// lines in the wide form.
extern bool detach;

void server_lock();
void server_unlock();

// Ends the runner when there is one; 0 for none.
int endRunner(tavrelRunner* runner);

#endif  // NORVALEN_SERVICE_SERVER_H_
