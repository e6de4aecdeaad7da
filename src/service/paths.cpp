#include "service/paths.h"

#include "service/config.h"
#include "service/options.h"

const char* const szConfDir = "/etc/opt/norvalen";
const char* const szLookPaths[] = {"/etc/opt/norvalen", "/etc/norvalen", "/usr/etc/norvalen",
                                   "/opt/norvalen/etc", "/usr/local/etc/norvalen", nullptr};
const char* const szPidDir = "/var/opt/norvalen/run";
const char* const szLogDir = "/var/opt/norvalen/log";
const char* const szDbDir = "/var/opt/norvalen/db";

std::string findConfigFile(bool given, const std::string& configOption) {
  if (given) return FileExists(configOption.c_str()) ? configOption : std::string();
  std::string first = std::string(szConfDir) + "/" + szConfFileName;
  if (FileExists(first.c_str())) return first;
  for (const char* const* dir = szLookPaths; *dir != nullptr; ++dir) {
    std::string candidate = std::string(*dir) + "/" + szConfFileName;
    if (FileExists(candidate.c_str())) return candidate;
  }
  return "";
}

namespace {

std::string key(const char* name, const Json::Value& conf) { return getConfVal(name, conf, ""); }

std::string in_dir(const std::string& dir, const std::string& configured,
                   const std::string& fallbackName) {
  if (configured.empty()) return dir + "/" + fallbackName;
  if (configured[0] == '/') return configured;
  return dir + "/" + configured;
}

std::string or_default(const std::string& value, const char* fallback) {
  return value.empty() ? std::string(fallback) : value;
}

}  // namespace

FilePaths derivePaths(const std::string& progname, const Json::Value& conf) {
  FilePaths p;
  p.pidFile = or_default(key("RunPath", conf), szPidDir) + "/" + progname + ".pid";
  p.dbFile = in_dir(or_default(key("DbPath", conf), szDbDir), key("DataBaseFile", conf),
                    "tavrel.db3");
  p.logDir = or_default(key("LogPath", conf), szLogDir);
  p.logFile = in_dir(p.logDir, key("LogFile", conf), progname + ".log");
  p.errFile = in_dir(p.logDir, key("ErrorFile", conf), progname + ".err");
  p.dbgFile = in_dir(p.logDir, key("DebugFile", conf), progname + ".dbg");
  return p;
}

namespace {

std::string from(const std::string& base, const std::string& path) {
  if (path.empty() || path[0] == '/' || base.empty()) return path;
  return base.back() == '/' ? base + path : base + "/" + path;
}

}  // namespace

FilePaths absolutePaths(FilePaths paths, const std::string& base) {
  for (std::string* path : {&paths.pidFile, &paths.dbFile, &paths.logDir, &paths.logFile,
                            &paths.errFile, &paths.dbgFile}) {
    *path = from(base, *path);
  }
  return paths;
}
