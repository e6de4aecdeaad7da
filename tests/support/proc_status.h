// What the kernel reports about a running process in /proc/<pid>/status:
// how a test sees the daemon's resident memory and thread count from outside.
#ifndef NORVALEN_TESTS_SUPPORT_PROC_STATUS_H_
#define NORVALEN_TESTS_SUPPORT_PROC_STATUS_H_

#include <sys/types.h>

#include <optional>

// The "VmRSS" line of process `pid` in kilobytes; nothing when the process
// is gone or the line cannot be read.
std::optional<long> ResidentKb(pid_t pid);

// The "Threads" line of process `pid`; nothing when it cannot be read.
std::optional<long> ThreadCount(pid_t pid);

#endif  // NORVALEN_TESTS_SUPPORT_PROC_STATUS_H_
