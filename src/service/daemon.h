// Daemon mode and the stop signals.
#ifndef NORVALEN_SERVICE_DAEMON_H_
#define NORVALEN_SERVICE_DAEMON_H_

#include <sys/types.h>

#include <string>

// The file-mode creation mask of the service: files 0640, directories 0750.
constexpr mode_t kFileModeMask = 027;

// How long a stop waits for a running command before the process ends
// anyway, in seconds.
constexpr int kStopWaitSeconds = 3;

// Turns the process into a daemon: refuses to start when the pid file names
// a running process, forks, sends the daemon's output to the log and error
// files (null: /dev/null) and returns 0 in the daemon; 1 when the process
// was not turned into a daemon (its parent is process 1).
//
// The launching process never returns: it waits up to `waitSeconds` for the
// daemon's report. daemonReady() (the daemon serves) makes it write the pid
// file and exit 0; a daemon that ends first makes it copy the lines handed
// to daemonStartFailed() to its standard error and exit 1; when the wait
// runs out it stops the daemon and exits 1.
int daemonize(const char* pidFilePath, const char* logFilePath, const char* errorFilePath,
              int waitSeconds);
// In a daemon made by daemonize: the listening socket is open. Nothing
// happens in a process that was not made so.
void daemonReady();
// In a daemon made by daemonize, before it exits on a start-up failure: one
// line for the launching process's standard error.
void daemonStartFailed(const std::string& text);

// The pid file written for this daemon, empty when none; removed on stop.
const char* daemon_lock_path();

void child_handler(int signal);
void sigpipe_handle(int signal);

// SIGTERM and SIGINT: the handler only records the signal. The stop itself
// (the log line, the runner's end under the operation lock, the pid file's
// removal, exit status 0) runs on an ordinary thread started by
// startStopWatcher.
void sighandler(int signal);
// Installs sighandler for SIGTERM and SIGINT and sigpipe_handle for SIGPIPE.
void installSignalHandlers();
// Starts the thread that carries out the stop; returns false when it could
// not be started.
bool startStopWatcher();
// The stop after a recorded signal: the stop line, the runner's end under
// the operation lock (waited for at most kStopWaitSeconds; past that the
// process ends without ending the runner, with one line in both logs), the
// pid file's removal, exit status 0. Never returns.
[[noreturn]] void stopService();

// Ends the process with `status` after flushing every stream, without the
// static destructors (a stop under way on another thread must not race
// them). A build with AddressSanitizer or LeakSanitizer first runs the leak
// check that ending this way would skip: what the static objects and the
// other threads' stacks still hold is reachable, not lost, and a leak ends
// the process as an exit-time report would, with the sanitizer's exit code.
[[noreturn]] void endProcess(int status);

#endif  // NORVALEN_SERVICE_DAEMON_H_
