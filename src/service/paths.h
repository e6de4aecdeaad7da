// Where the daemon keeps its files: built-in directories, the configuration
// search, and the pid, log, error, debug and journal paths derived from the
// configuration. No directory is created: they must exist.
#ifndef NORVALEN_SERVICE_PATHS_H_
#define NORVALEN_SERVICE_PATHS_H_

#include <string>

#include <json/json.h>

extern const char* const szConfDir;       // "/etc/opt/norvalen"
extern const char* const szLookPaths[];   // searched in order, ended by null
extern const char* const szPidDir;        // "/var/opt/norvalen/run"
extern const char* const szLogDir;        // "/var/opt/norvalen/log"
extern const char* const szDbDir;         // "/var/opt/norvalen/db"

// The configuration file to use: with -c (`given`), that file if it can be
// opened, else none; without, the first of the search directories holding a
// readable "tavrel.conf". Empty when none.
std::string findConfigFile(bool given, const std::string& configOption);

struct FilePaths {
  std::string pidFile;
  std::string dbFile;
  std::string logDir;
  std::string logFile;
  std::string errFile;
  std::string dbgFile;
};

// A configured name that begins with "/" is a full path by itself.
FilePaths derivePaths(const std::string& progname, const Json::Value& conf);

// `paths` with every relative path taken from the directory `base` (the
// directory the daemon was started in).
FilePaths absolutePaths(FilePaths paths, const std::string& base);

#endif  // NORVALEN_SERVICE_PATHS_H_
