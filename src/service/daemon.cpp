#include "service/daemon.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "service/log.h"
#include "service/server.h"
#include "util/convert.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(leak_sanitizer)
#define NORVALEN_LEAK_CHECK_AT_EXIT 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(NORVALEN_LEAK_CHECK_AT_EXIT)
#define NORVALEN_LEAK_CHECK_AT_EXIT 1
#endif
#ifdef NORVALEN_LEAK_CHECK_AT_EXIT
#include <sanitizer/lsan_interface.h>
#endif

namespace {

pid_t pid_daemon = 0;
pid_t launcher_pid = 0;  // in the daemon: the process waiting for its report
std::string lock_path;
// The daemon's start-up failure lines travel to the launching process
// through this pipe, so that whoever started the daemon sees why it did not
// start.
int report_pipe[2] = {-1, -1};
int stop_pipe[2] = {-1, -1};
volatile sig_atomic_t stop_signal = 0;

void set_handler(int signal, void (*handler)(int)) {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sigemptyset(&sa.sa_mask);
  sa.sa_handler = handler;
  sigaction(signal, &sa, nullptr);
}

void both_logs(const std::string& text) {
  log(text, 1, true);
  log(text, 0, true);
}

void write_pid_file_and_exit() {
  int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0640);
  if (fd < 0) {
    int e = errno;
    std::fprintf(stderr, "unable to create lock file %s, code=%d (%s)\n", lock_path.c_str(), e,
                 std::strerror(e));
    _exit(1);
  }
  char text[32];
  int len = std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(pid_daemon));
  ssize_t written = ::write(fd, text, static_cast<size_t>(len));
  if (written != len) {
    int e = errno;
    std::fprintf(stderr, "unable to write pid to lock file %s, code=%d (%s)\n", lock_path.c_str(),
                 e, std::strerror(e));
  }
  ::close(fd);
  _exit(0);
}

// In the launching process: copies what the daemon reported to standard
// error. Only async-signal-safe calls: it runs inside the SIGCHLD handler.
void relay_report() {
  if (report_pipe[0] < 0) return;
  char chunk[512];
  for (;;) {
    ssize_t n = ::read(report_pipe[0], chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    ssize_t done = 0;
    while (done < n) {
      ssize_t w = ::write(2, chunk + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) break;
      done += w;
    }
  }
}

void reopen(const char* path, const char* mode, std::FILE* stream, const char* name) {
  if (std::freopen(path, mode, stream) == nullptr) {
    int e = errno;
    std::fprintf(stderr, "unable to freopen() %s, code %d (%s)", name, e, std::strerror(e));
  }
}

void* stop_watcher(void*) {
  char byte = 0;
  while (::read(stop_pipe[0], &byte, 1) < 0 && errno == EINTR) {
  }
  stopService();
  return nullptr;
}

}  // namespace

const char* daemon_lock_path() { return lock_path.c_str(); }

void stopService() {
  // The watcher and the interrupted accept loop may both get here; the
  // first one stops the process, the other waits for the end.
  static std::atomic<bool> stopping{false};
  if (stopping.exchange(true)) {
    for (;;) pause();
  }
  log("Остановка сервера по сигналу : " + n2str(static_cast<int>(stop_signal)), 0, !detach);
  // The runner ends while no command runs. A command that is still running
  // (a centre that is slow to answer, the start-up check) is given a short
  // while; then the process ends without touching the runner it is using.
  // The journal stays consistent: each of its writes is a transaction.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kStopWaitSeconds);
  bool locked = lock_conns.try_lock();
  while (!locked && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    locked = lock_conns.try_lock();
  }
  if (locked) {
    endRunner(pRun);
  } else {
    const std::string text = "Операция не завершилась за " + n2str(kStopWaitSeconds) +
                             " с : остановка без ожидания её окончания";
    log(text, 1, !detach);
    log(text, 0, !detach);
  }
  if (!lock_path.empty()) ::unlink(lock_path.c_str());
  endProcess(0);
}

void endProcess(int status) {
  std::fflush(nullptr);
#ifdef NORVALEN_LEAK_CHECK_AT_EXIT
  __lsan_do_leak_check();
#endif
  _exit(status);
}

void child_handler(int signal) {
  switch (signal) {
    case SIGUSR1:
      write_pid_file_and_exit();
      break;
    case SIGCHLD:
      relay_report();
      std::fprintf(stderr, "SIGCHLD with child (%d)\n", signal);
      _exit(1);
    case SIGALRM:
      // The launcher reports a failure: a daemon that may still come up
      // later would run without its pid file, so it is stopped.
      if (pid_daemon > 0) ::kill(pid_daemon, SIGTERM);
      std::fprintf(stderr, "SIGALRM with child (%d)\n", signal);
      _exit(1);
    default:
      break;
  }
}

void sigpipe_handle(int) {}

void sighandler(int signal) {
  force_exit = 1;
  stop_signal = signal;
  if (stop_pipe[1] >= 0) {
    char byte = 1;
    ssize_t ignored = ::write(stop_pipe[1], &byte, 1);
    (void)ignored;
  }
}

void installSignalHandlers() {
  set_handler(SIGTERM, sighandler);
  set_handler(SIGINT, sighandler);
  set_handler(SIGPIPE, sigpipe_handle);
}

bool startStopWatcher() {
  if (stop_pipe[0] < 0) {
    if (::pipe2(stop_pipe, O_CLOEXEC) != 0) return false;
    // The handler must never block on a full pipe: one byte is enough.
    ::fcntl(stop_pipe[1], F_SETFL, ::fcntl(stop_pipe[1], F_GETFL) | O_NONBLOCK);
  }
  pthread_t thread;
  if (pthread_create(&thread, nullptr, stop_watcher, nullptr) != 0) return false;
  pthread_detach(thread);
  return true;
}

void daemonReady() {
  if (launcher_pid <= 0) return;
  ::kill(launcher_pid, SIGUSR1);
  launcher_pid = 0;
  if (report_pipe[1] >= 0) ::close(report_pipe[1]);
  report_pipe[1] = -1;
}

void daemonStartFailed(const std::string& text) {
  if (report_pipe[1] < 0) return;
  const std::string line = text + "\n";
  size_t done = 0;
  while (done < line.size()) {
    ssize_t w = ::write(report_pipe[1], line.data() + done, line.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) break;
    done += static_cast<size_t>(w);
  }
}

int daemonize(const char* pidFilePath, const char* logFilePath, const char* errorFilePath,
              int waitSeconds) {
  if (getppid() == 1) return 1;

  const std::string pidPath = pidFilePath ? pidFilePath : "";
  if (std::FILE* f = std::fopen(pidPath.c_str(), "r")) {
    char text[11] = {0};
    size_t n = std::fread(text, 1, 10, f);
    std::fclose(f);
    if (n > 0) {
      long pid = std::strtol(text, nullptr, 10);
      if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0) {
        both_logs("Уже существует запущенный экземпляр сервера с процессом " + n2str(pid));
        log("Завершение процесса", 0, true);
        std::exit(1);
      }
    }
    ::unlink(pidPath.c_str());
  }
  lock_path = pidPath;

  if (::pipe2(report_pipe, O_CLOEXEC) != 0) report_pipe[0] = report_pipe[1] = -1;
  set_handler(SIGCHLD, child_handler);
  set_handler(SIGUSR1, child_handler);
  set_handler(SIGALRM, child_handler);

  // The daemon may report before the launcher has noted its id: hold the
  // launcher's signals until it waits for them.
  sigset_t launcherSignals, previous;
  sigemptyset(&launcherSignals);
  sigaddset(&launcherSignals, SIGUSR1);
  sigaddset(&launcherSignals, SIGCHLD);
  sigaddset(&launcherSignals, SIGALRM);
  sigprocmask(SIG_BLOCK, &launcherSignals, &previous);

  pid_t pid = fork();
  if (pid < 0) {
    int e = errno;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    both_logs("Ошибка запуска дочернего процесса, code=" + n2str(e) + " (" + std::strerror(e) + ")");
    log("Завершение работы сервера", 0, true);
    std::exit(1);
  }
  if (pid > 0) {
    pid_daemon = pid;
    if (report_pipe[1] >= 0) ::close(report_pipe[1]);
    report_pipe[1] = -1;
    alarm(static_cast<unsigned>(waitSeconds > 0 ? waitSeconds : 1));
    sigset_t waiting = previous;
    sigdelset(&waiting, SIGUSR1);
    sigdelset(&waiting, SIGCHLD);
    sigdelset(&waiting, SIGALRM);
    for (;;) sigsuspend(&waiting);
  }

  launcher_pid = getppid();
  pid_daemon = getpid();
  if (report_pipe[0] >= 0) ::close(report_pipe[0]);
  report_pipe[0] = -1;
  set_handler(SIGCHLD, SIG_DFL);
  // Nothing sends these to a running daemon; a stray one is ignored.
  set_handler(SIGUSR1, SIG_IGN);
  set_handler(SIGALRM, SIG_IGN);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  for (int ignored : {SIGTSTP, SIGTTOU, SIGTTIN, SIGHUP}) set_handler(ignored, SIG_IGN);
  // Group members may read the journal and the logs; nobody else may touch
  // files that hold card numbers.
  umask(kFileModeMask);
  if (setsid() < 0) {
    int e = errno;
    std::fprintf(stderr, "unable to create a new session, code %d (%s)", e, std::strerror(e));
    std::exit(1);
  }
  if (chdir("/") < 0) {
    int e = errno;
    std::fprintf(stderr, "unable to change directory to %s, code %d (%s)", "/", e, std::strerror(e));
    std::exit(1);
  }
  reopen("/dev/null", "r", stdin, "stdin ");
  reopen(logFilePath ? logFilePath : "/dev/null", logFilePath ? "a+" : "w", stdout, "stdout");
  reopen(errorFilePath ? errorFilePath : "/dev/null", errorFilePath ? "a+" : "w", stderr, "stderr");

  log("Демон инициализирован с PID=" + n2str(static_cast<long>(pid_daemon)), 0, false);
  return 0;
}
