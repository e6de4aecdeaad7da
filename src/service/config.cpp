#include "service/config.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "util/convert.h"
#include "util/json_value.h"

const wsConfigParam wsConfig[] = {
    {"Host", 1, CONF_TEXT, "127.0.0.1"},
    {"Port", 1, CONF_INT, "54122"},
    {"ConnectionString", 1, CONF_TEXT, nullptr},
    {"CheckPmtJsonRoot", 2, CONF_FLAG, "1"},
    {"PmtJsonRootName", 2, CONF_TEXT, "TVL"},
    {"DaemonNeedConnect", 2, CONF_FLAG, "0"},
    {"UseTLS", 2, CONF_FLAG, "0"},
    {"CertFilePath", 2, CONF_TEXT, nullptr},
    {"CertKeyFile", 2, CONF_TEXT, nullptr},
    {"CertKeyPassword", 2, CONF_TEXT, nullptr},
    {"CertsCAPath", 2, CONF_TEXT, nullptr},
    {"RandomDataPath", 2, CONF_TEXT, nullptr},
    {"UserId", 2, CONF_TEXT, nullptr},
    {"UserPass", 2, CONF_TEXT, nullptr},
    {"RetryCount", 1, CONF_INT, "2"},
    {"ConnectTimeout", 1, CONF_INT, "10"},
    {"SendRecvTimeout", 1, CONF_INT, "10"},
    {"BackgndFlushPeriod", 2, CONF_INT, "900"},
    {"OfflineCheckPeriod", 2, CONF_INT, "900"},
    {"SessionTokenTTL", 2, CONF_INT, "600"},
    {"LogPath", 2, CONF_TEXT, "/var/opt/norvalen/log"},
    {"LogFile", 2, CONF_TEXT, nullptr},
    {"ErrorFile", 2, CONF_TEXT, nullptr},
    {"DebugEnable", 2, CONF_FLAG, "0"},
    {"DebugFile", 2, CONF_TEXT, nullptr},
    {"RunPath", 2, CONF_TEXT, "/var/opt/norvalen/run"},
    {"DbPath", 2, CONF_TEXT, "/var/opt/norvalen/db"},
    {"DataBaseFile", 2, CONF_TEXT, nullptr},
    {nullptr, 0, 0, nullptr},
};

const wsConfigParam* findParamOptions(const char* name) {
  if (name == nullptr) return nullptr;
  for (const wsConfigParam* row = wsConfig; row->name != nullptr; ++row) {
    if (std::strcmp(row->name, name) == 0) return row;
  }
  return nullptr;
}

namespace {

// The member `name` of `conf` when it is a scalar, else null. Never creates
// the member, and a configuration that is not an object holds no members.
const Json::Value* scalar_member(const Json::Value& conf, const char* name) {
  if (!conf.isObject()) return nullptr;
  const Json::Value* member = conf.find(name, name + std::strlen(name));
  if (member == nullptr || member->isNull() || member->isObject() || member->isArray()) {
    return nullptr;
  }
  return member;
}

std::string flag_text(const Json::Value& v, const std::string& fallback) {
  if (v.isBool()) return v.asBool() ? "1" : "0";
  if (v.isString()) return str2bool(v.asString()) ? "1" : "0";
  if (v.isNumeric()) {
    double d = v.asDouble();
    if (d != std::floor(d)) return fallback;
    return d <= 0 ? "0" : "1";
  }
  return fallback;
}

}  // namespace

std::string get_json_param(const wsConfigParam& row, const Json::Value& conf) {
  std::string result = row.defaultText ? row.defaultText : "";
  const Json::Value* member = scalar_member(conf, row.name);
  if (member == nullptr) return result;
  switch (row.valueType) {
    case CONF_TEXT:
      return Jval2Str(*member);
    case CONF_INT:
      return n2str(Jval2Int(*member));
    case CONF_DOUBLE: {
      char buf[512];
      std::snprintf(buf, sizeof buf, "%f", JvalAsDouble(*member));
      return buf;
    }
    case CONF_FLAG:
      return flag_text(*member, result);
    default:
      return result;
  }
}

std::string getConfVal(const char* name, const Json::Value& conf, const std::string& defaultText) {
  if (name == nullptr) return "";
  if (const wsConfigParam* row = findParamOptions(name)) return get_json_param(*row, conf);
  const Json::Value* member = scalar_member(conf, name);
  if (member == nullptr) return defaultText;
  std::string text = Jval2Str(*member);
  return text.empty() ? defaultText : text;
}

bool FileExists(const char* path) {
  if (path == nullptr) return false;
  std::FILE* f = std::fopen(path, "r");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

bool readJsonConfFile(const char* path, Json::Value& value) {
  if (path == nullptr) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  Json::CharReaderBuilder builder;
  builder["allowComments"] = true;
  std::string errors;
  return Json::parseFromStream(builder, in, &value, &errors);
}
