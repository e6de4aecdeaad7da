// The configuration: readJsonConfFile on a temporary file holding the
// input, then every key of the table through getConfVal and
// get_json_param, the derived file paths, the listening port and the
// centre's limits, as start-up reads them.
//
// Checked: a failure always leaves a reason and a success none, the reason
// is one line, a port given with -p wins, the port is never 0, the centre's
// limits are positive and the start-up bound is positive and at most a day.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <json/json.h>

#include "runner/runner.h"
#include "service/config.h"
#include "service/paths.h"
#include "service/startup.h"

namespace {

std::string g_path;

void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "config: %s: [%s]\n", what, detail.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/norvalen-fuzz-conf-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = mkstemp(buffer.data());
  if (fd < 0) {
    std::perror("mkstemp");
    std::abort();
  }
  close(fd);
  g_path = buffer.data();
  std::atexit([] { unlink(g_path.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::FILE* file = std::fopen(g_path.c_str(), "wb");
    if (file == nullptr) fail("cannot write the temporary file", g_path);
    if (size > 0 && std::fwrite(data, 1, size, file) != size) fail("short write", g_path);
    std::fclose(file);
  }
  Json::Value conf;
  std::string errors = "unset";
  const bool read = readJsonConfFile(g_path.c_str(), conf, &errors);
  if (read != errors.empty()) fail("result and reason disagree", errors);
  if (errors.find('\n') != std::string::npos) fail("reason is more than one line", errors);

  for (const wsConfigParam* row = wsConfig; row->name != nullptr; ++row) {
    (void)getConfVal(row->name, conf, "");
    (void)getConfVal(row->name, conf, "fallback");
    (void)get_json_param(*row, conf);
    if (findParamOptions(row->name) != row) fail("table row not found by its name", row->name);
  }
  // Keys outside the table, as the runner reads them.
  for (const char* name : {"ProductIdLength", "ProductIdZeros", "Terminal", "Location", "Token"}) {
    (void)getConfVal(name, conf, "");
  }

  const FilePaths paths = derivePaths("norvalen", conf);
  (void)absolutePaths(paths, "/var/tmp");

  if (settlePort(0, conf) == 0) fail("port 0", "");
  if (settlePort(4321, conf) != 4321) fail("port given with -p not kept", "");

  const CentreLimits limits = readCentreLimits(conf);
  if (limits.connectTimeout <= 0 || limits.sendRecvTimeout <= 0 || limits.retryCount < 1) {
    fail("centre limit not positive", "");
  }
  const int bound = startupBoundSeconds(conf);
  if (bound <= 0 || bound > 86400) fail("start-up bound out of range", std::to_string(bound));
  return 0;
}
