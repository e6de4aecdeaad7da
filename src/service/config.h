// Configuration: the key table with its defaults, and reading keys as text.
// Every key of "tavrel.conf" is read as text through getConfVal; the type
// column of the table says how a JSON value of any kind becomes that text.
#ifndef NORVALEN_SERVICE_CONFIG_H_
#define NORVALEN_SERVICE_CONFIG_H_

#include <cstddef>
#include <string>

#include <json/json.h>

enum ConfValueType { CONF_TEXT = 1, CONF_INT = 2, CONF_FLAG = 3, CONF_DOUBLE = 4 };

struct wsConfigParam {
  const char* name;         // compared exactly
  int group;                // 1 or 2; informative only
  int valueType;            // ConfValueType
  const char* defaultText;  // null: no default (empty text)
};

// 28 rows, ended by an all-null row.
extern const wsConfigParam wsConfig[];

// The row named `name`, or null for a null or unknown name.
const wsConfigParam* findParamOptions(const char* name);

// Text value of one table key: the row's default unless `conf` holds a
// scalar member of that name. A table key given as "" reads as "".
std::string get_json_param(const wsConfigParam& row, const Json::Value& conf);

// Text value of any key: table keys through get_json_param; other keys are
// their scalar text, or `defaultText` when absent, null, a container or "".
std::string getConfVal(const char* name, const Json::Value& conf, const std::string& defaultText);

// True when `path` is non-null and can be opened for reading.
bool FileExists(const char* path);

// The largest configuration file that is read. A configuration is a few
// dozen keys; anything near this size is a wrong file (a log, a device),
// and it must not be taken into memory whole.
constexpr std::size_t kConfFileMaxBytes = 1048576;

// Parses the whole file (comments allowed) into `value`; true when it reads.
// On a syntax error it returns false and `value` holds what the reader
// delivered before the error (the keys read so far stay in use), or an
// empty object when it delivered nothing. On every other failure (a null
// path, a file that cannot be opened or read, one larger than
// kConfFileMaxBytes, nesting deeper than the reader goes) `value` becomes
// an empty object: every key takes its default. With `errors`, the reason
// is left there on one line (the reader's own words, with line and column,
// for a syntax error), and "" when the file reads.
bool readJsonConfFile(const char* path, Json::Value& value, std::string* errors = nullptr);

#endif  // NORVALEN_SERVICE_CONFIG_H_
