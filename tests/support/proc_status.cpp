#include "support/proc_status.h"

#include <cstdlib>
#include <string>

#include "support/tempdir.h"

namespace {

// The number after "<name>:" in /proc/<pid>/status.
std::optional<long> status_number(pid_t pid, const std::string& name) {
  const std::optional<std::string> status =
      ReadFile("/proc/" + std::to_string(pid) + "/status");
  if (!status) return std::nullopt;
  const std::string key = "\n" + name + ":";
  const std::size_t at = status->find(key);
  if (at == std::string::npos) return std::nullopt;
  const char* begin = status->c_str() + at + key.size();
  char* end = nullptr;
  const long value = std::strtol(begin, &end, 10);
  if (end == begin) return std::nullopt;
  return value;
}

}  // namespace

std::optional<long> ResidentKb(pid_t pid) { return status_number(pid, "VmRSS"); }

std::optional<long> ThreadCount(pid_t pid) { return status_number(pid, "Threads"); }
