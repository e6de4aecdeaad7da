#include "support/proc.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kPollInterval(10);

// Closes every descriptor from `first` on except `keep`. Runs in the forked
// child, so it uses async-signal-safe calls only.
void close_descriptors_from(int first, int keep) {
  if (keep > first) {
    if (::close_range(first, keep - 1, 0) != 0) {
      for (int fd = first; fd < keep; ++fd) ::close(fd);
    }
  }
  const int after = keep >= first ? keep + 1 : first;
  if (::close_range(after, ~0U, 0) != 0) {
    const long limit = ::sysconf(_SC_OPEN_MAX);
    for (long fd = after; fd < (limit > 0 ? limit : 1024); ++fd) ::close(static_cast<int>(fd));
  }
}

// Sets up the standard streams, the directory and the signals of the child
// and executes the program; reports errno through `report` when it fails.
[[noreturn]] void exec_child(const char* program, char* const* argv, const char* dir,
                             int in, int out, int err, int report) {
  int failure = 0;
  if (::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) failure = errno;
  if (failure == 0 && dir != nullptr && ::chdir(dir) != 0) failure = errno;
  if (failure == 0) {
    close_descriptors_from(3, report);
    for (int sig = 1; sig < NSIG; ++sig) ::signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execv(program, argv);
    failure = errno;
  }
  ssize_t ignored = ::write(report, &failure, sizeof(failure));
  (void)ignored;
  ::_exit(127);
}

bool wait_for_text(const std::string& path, const std::string& text,
                   std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const std::optional<std::string> content = ReadFile(path);
    if (content && content->find(text) != std::string::npos) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
}

}  // namespace

// ---- ExitStatus ----

ExitStatus ExitStatus::FromWaitStatus(int status) {
  if (WIFEXITED(status)) return Exited(WEXITSTATUS(status));
  return Signalled(WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

bool ExitStatus::operator==(const ExitStatus& other) const {
  return exited == other.exited && code == other.code && signal == other.signal;
}

std::ostream& operator<<(std::ostream& out, const ExitStatus& status) {
  if (status.exited) return out << "exit " << status.code;
  return out << "signal " << status.signal;
}

std::ostream& operator<<(std::ostream& out, const std::optional<ExitStatus>& status) {
  if (!status) return out << "still running";
  return out << *status;
}

// ---- Process ----

Process::~Process() {
  closeStdin();
  if (pid_ > 0 && !status_) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

bool Process::start(const std::string& program, const std::vector<std::string>& args,
                    const ProcessOptions& options) {
  if (pid_ > 0) {
    error_ = "already started";
    return false;
  }
  if (outputDir_.path().empty()) {
    error_ = "no directory for the output";
    return false;
  }

  // Everything the child needs is prepared before fork: after it, the child
  // of a multi-threaded test may only make async-signal-safe calls.
  std::vector<std::string> words;
  words.push_back(program);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  std::string stdinFile = "/dev/null";
  if (options.stdinText) stdinFile = outputDir_.writeFile("stdin", *options.stdinText);

  const int out = ::open(stdoutPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int err = ::open(stderrPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int in = -1;
  int inPipe[2] = {-1, -1};
  if (options.stdinPipe && !options.stdinText) {
    if (::pipe2(inPipe, O_CLOEXEC) == 0) in = inPipe[0];
  } else {
    in = ::open(stdinFile.c_str(), O_RDONLY | O_CLOEXEC);
  }
  int report[2] = {-1, -1};
  const bool ready = out >= 0 && err >= 0 && in >= 0 && ::pipe2(report, O_CLOEXEC) == 0;

  pid_t child = -1;
  if (ready) {
    child = ::fork();
    if (child == 0) {
      exec_child(program.c_str(), argv.data(),
                 options.workingDir.empty() ? nullptr : options.workingDir.c_str(), in, out, err,
                 report[1]);
    }
  }
  const int forkError = errno;
  for (int fd : {out, err, in, report[1]}) {
    if (fd >= 0) ::close(fd);
  }
  if (!ready || child < 0) {
    if (report[0] >= 0) ::close(report[0]);
    if (inPipe[1] >= 0) ::close(inPipe[1]);
    error_ = std::string(ready ? "fork: " : "cannot prepare the streams: ") +
             std::strerror(forkError);
    return false;
  }
  pid_ = child;
  stdinPipe_ = inPipe[1];

  // The report pipe closes on a successful exec; otherwise it brings errno.
  int childError = 0;
  ssize_t got;
  do {
    got = ::read(report[0], &childError, sizeof(childError));
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (got > 0) {
    error_ = "cannot execute " + program + ": " + std::strerror(childError);
    wait(std::chrono::seconds(5));
    return false;
  }
  return true;
}

bool Process::kill(int signal) {
  if (pid_ <= 0 || status_) return false;
  return ::kill(pid_, signal) == 0;
}

std::optional<ExitStatus> Process::wait(std::chrono::milliseconds timeout) {
  if (status_ || pid_ <= 0) return status_;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      status_ = ExitStatus::FromWaitStatus(status);
      return status_;
    }
    if (done < 0 && errno != EINTR) return std::nullopt;
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(kPollInterval);
  }
}

std::string Process::stdoutText() const { return ReadFile(stdoutPath()).value_or(""); }
std::string Process::stderrText() const { return ReadFile(stderrPath()).value_or(""); }

bool Process::waitForStdout(const std::string& text, std::chrono::milliseconds timeout) const {
  return wait_for_text(stdoutPath(), text, timeout);
}

bool Process::waitForStderr(const std::string& text, std::chrono::milliseconds timeout) const {
  return wait_for_text(stderrPath(), text, timeout);
}

bool Process::writeStdin(const std::string& bytes) {
  if (stdinPipe_ < 0) return false;
  // A child that is gone must fail the write, not kill the test.
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &previous);
  std::size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    const ssize_t wrote = ::write(stdinPipe_, bytes.data() + done, bytes.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(wrote);
  }
  ::sigaction(SIGPIPE, &previous, nullptr);
  return ok;
}

void Process::closeStdin() {
  if (stdinPipe_ >= 0) {
    ::close(stdinPipe_);
    stdinPipe_ = -1;
  }
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         std::chrono::milliseconds timeout, const ProcessOptions& options) {
  ProcessResult result;
  Process process;
  if (!process.start(program, args, options)) {
    result.err = process.error();
    return result;
  }
  result.status = process.wait(timeout);
  if (!result.status) {
    process.kill(SIGKILL);
    process.wait(std::chrono::seconds(5));
  }
  result.out = process.stdoutText();
  result.err = process.stderrText();
  return result;
}
