// Configuration: the key table with its defaults, and reading keys as text.
// Every key of "tavrel.conf" is read as text through getConfVal; the type
// column of the table says how a JSON value of any kind becomes that text.
#ifndef NORVALEN_SERVICE_CONFIG_H_
#define NORVALEN_SERVICE_CONFIG_H_

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

// Parses the whole file (comments allowed) into `value`. False for a null
// path, an unreadable file or a parse error; `value` keeps what was read.
bool readJsonConfFile(const char* path, Json::Value& value);

#endif  // NORVALEN_SERVICE_CONFIG_H_
