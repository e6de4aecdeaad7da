#include "service/daemon.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "service/log.h"
#include "service/server.h"
#include "util/convert.h"

namespace {

pid_t pid_daemon = 0;
std::string lock_path;
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
  // The runner ends while no command runs.
  lock_conns.lock();
  endRunner(pRun);
  if (!lock_path.empty()) ::unlink(lock_path.c_str());
  std::fflush(nullptr);
  _exit(0);
}

void child_handler(int signal) {
  switch (signal) {
    case SIGUSR1:
      write_pid_file_and_exit();
      break;
    case SIGCHLD:
      std::fprintf(stderr, "SIGCHLD with child (%d)\n", signal);
      _exit(1);
    case SIGALRM:
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
  if (stop_pipe[0] < 0 && ::pipe2(stop_pipe, O_CLOEXEC) != 0) return false;
  pthread_t thread;
  if (pthread_create(&thread, nullptr, stop_watcher, nullptr) != 0) return false;
  pthread_detach(thread);
  return true;
}

int daemonize(const char* pidFilePath, const char* logFilePath, const char* errorFilePath) {
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
    alarm(2);
    sigset_t waiting = previous;
    sigdelset(&waiting, SIGUSR1);
    sigdelset(&waiting, SIGCHLD);
    sigdelset(&waiting, SIGALRM);
    for (;;) sigsuspend(&waiting);
  }

  const pid_t parent = getppid();
  pid_daemon = getpid();
  set_handler(SIGCHLD, SIG_DFL);
  // Nothing sends these to a running daemon; a stray one is ignored.
  set_handler(SIGUSR1, SIG_IGN);
  set_handler(SIGALRM, SIG_IGN);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  for (int ignored : {SIGTSTP, SIGTTOU, SIGTTIN, SIGHUP}) set_handler(ignored, SIG_IGN);
  umask(0);
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
  ::kill(parent, SIGUSR1);
  return 0;
}
