// The process entry: locale, command line, configuration, daemon start,
// runner, listener and accept loop. Returns the exit status.
#ifndef NORVALEN_SERVICE_STARTUP_H_
#define NORVALEN_SERVICE_STARTUP_H_

#include <cstdint>

#include <json/json.h>

int serviceMain(int argc, char** argv);

// The listening port: the one given with -p, else the configuration's
// "Port" kept in 16 bits, else 54122.
// A port that comes out as 0 also gives 54122.
uint16_t settlePort(uint16_t crmServPort, const Json::Value& conf);

#endif  // NORVALEN_SERVICE_STARTUP_H_
