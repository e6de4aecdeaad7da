// Process: a child program started by a test (the daemon, the POS tool, the
// centre simulator), with its standard output and standard error captured
// to files that can be read while it runs.
//
//   Process daemon;
//   ASSERT_TRUE(daemon.start(NORVALEN_BIN, {"-d", "-p", "54199"}));
//   ASSERT_TRUE(daemon.waitForStdout("...", std::chrono::seconds(5)));
//   daemon.kill(SIGTERM);
//   EXPECT_EQ(daemon.wait(std::chrono::seconds(5)), ExitStatus::Exited(0));
//
// The child gets its own copies of the standard streams only: every other
// descriptor of the test is closed in it, and all signals are back at their
// default disposition and unblocked. The destructor kills (SIGKILL) and
// reaps a child that is still running. Not thread-safe.
#ifndef NORVALEN_TESTS_SUPPORT_PROC_H_
#define NORVALEN_TESTS_SUPPORT_PROC_H_

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/tempdir.h"

// How a child ended: a normal exit with a code, or a terminating signal.
struct ExitStatus {
  bool exited = false;
  int code = -1;   // exit code when `exited`
  int signal = 0;  // terminating signal when not `exited`

  static ExitStatus Exited(int code) { return ExitStatus{true, code, 0}; }
  static ExitStatus Signalled(int signal) { return ExitStatus{false, -1, signal}; }
  static ExitStatus FromWaitStatus(int status);

  bool operator==(const ExitStatus& other) const;
  bool operator!=(const ExitStatus& other) const { return !(*this == other); }
};
// "exit 3" or "signal 9", so that test failures read well.
std::ostream& operator<<(std::ostream& out, const ExitStatus& status);
std::ostream& operator<<(std::ostream& out, const std::optional<ExitStatus>& status);

struct ProcessOptions {
  // The child's working directory; empty keeps the test's.
  std::string workingDir;
  // Standard input: these bytes (then end of file) when set; a pipe fed by
  // writeStdin() when `stdinPipe`; otherwise /dev/null.
  std::optional<std::string> stdinText;
  bool stdinPipe = false;
};

class Process {
 public:
  Process() = default;
  ~Process();

  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Starts `program` (a path; no search) with `args` as argv[1..]. Returns
  // false, with the reason in error(), when it could not be executed; a
  // Process starts at most one child.
  bool start(const std::string& program, const std::vector<std::string>& args,
             const ProcessOptions& options = ProcessOptions());
  const std::string& error() const { return error_; }

  // The child's pid; -1 before start().
  pid_t pid() const { return pid_; }

  // Sends `signal`; false once the child has been reaped (its pid may have
  // been reused) or when kill() fails.
  bool kill(int signal);

  // Waits up to `timeout` for the child to end and reaps it; nothing when it
  // is still running. After the child ended, returns the same status again.
  std::optional<ExitStatus> wait(std::chrono::milliseconds timeout);
  bool running() { return !wait(std::chrono::milliseconds(0)).has_value(); }

  // What the child wrote so far (the files stay readable after it ended).
  std::string stdoutText() const;
  std::string stderrText() const;
  std::string stdoutPath() const { return outputDir_.file("stdout"); }
  std::string stderrPath() const { return outputDir_.file("stderr"); }

  // Waits until `text` appears in the output; false at the time-out.
  bool waitForStdout(const std::string& text, std::chrono::milliseconds timeout) const;
  bool waitForStderr(const std::string& text, std::chrono::milliseconds timeout) const;

  // With ProcessOptions::stdinPipe: writes all `bytes` to the child's
  // standard input (false when the pipe is closed or the child gone), and
  // closes it so that the child reads end of file.
  bool writeStdin(const std::string& bytes);
  void closeStdin();

 private:
  TempDir outputDir_;
  std::string error_;
  pid_t pid_ = -1;
  int stdinPipe_ = -1;
  std::optional<ExitStatus> status_;
};

// Runs `program` to its end: status (nothing when it outlived `timeout`,
// then it is killed), standard output and standard error.
struct ProcessResult {
  std::optional<ExitStatus> status;
  std::string out;
  std::string err;
};
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         std::chrono::milliseconds timeout,
                         const ProcessOptions& options = ProcessOptions());

#endif  // NORVALEN_TESTS_SUPPORT_PROC_H_
