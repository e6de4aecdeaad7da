// Daemon mode and the stop signals.
#ifndef NORVALEN_SERVICE_DAEMON_H_
#define NORVALEN_SERVICE_DAEMON_H_

// Turns the process into a daemon: refuses to start when the pid file names
// a running process, forks, and lets the launching process exit 0 (after
// writing the pid file) only once the daemon has sent its output to the log
// and error files (null: /dev/null). Returns 0 in the daemon, 1 when the
// process was not turned into a daemon (its parent is process 1); the
// launching process never returns.
int daemonize(const char* pidFilePath, const char* logFilePath, const char* errorFilePath);

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
// the operation lock, the pid file's removal, exit status 0. Never returns.
[[noreturn]] void stopService();

#endif  // NORVALEN_SERVICE_DAEMON_H_
