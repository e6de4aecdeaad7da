// The command line: options, help and version output.
#ifndef NORVALEN_SERVICE_OPTIONS_H_
#define NORVALEN_SERVICE_OPTIONS_H_

#include <cstdint>
#include <string>

#include <json/json.h>

extern const char* const szProject;
extern const char* const szVersion;
extern const char* const szConfFileName;
extern const char* const szGetopt;

enum ExecState { EXEC_RUN = 0, EXEC_HELP = 1, EXEC_VERSION = 2 };

// An option's text argument; `given` tells an empty argument from none.
struct OptText {
  bool given = false;
  std::string text;
  void set(const char* arg) {
    given = true;
    text = arg ? arg : "";
  }
};

struct StartOptions {
  int execState = EXEC_RUN;
  bool detach = true;          // -d clears it: stay in the foreground
  uint16_t crmServPort = 0;    // 0: the port comes from the configuration
  bool tlsEnable = false;      // the last of -t / -n
  uint16_t p_opt_tls = 0;      // how many of -t and -n were given
  OptText p_opt_config, p_opt_connect, p_opt_crt, p_opt_key, p_opt_capath, p_opt_user, p_opt_pass;
};

// Parses the options with getopt_long, left to right; stops early after -h
// or -v. Returns 0, or 1 for an unknown option or a missing argument (getopt
// has then written its diagnostic to standard error).
int parseOptions(int argc, char** argv, StartOptions* opts);

// Writes the command-line values into the configuration object, replacing
// what the file held: texts as JSON strings, UseTLS as a JSON boolean.
void applyOptions(const StartOptions& opts, Json::Value& conf);

// The help text (22 lines) and the version line with an empty line, on
// standard output.
void usage(const char* progname);
void version();

#endif  // NORVALEN_SERVICE_OPTIONS_H_
