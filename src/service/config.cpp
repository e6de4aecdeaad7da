#include "service/config.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <sstream>

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

namespace {

const std::size_t kReadChunk = 65536;

// The reader lists each error as "* Line L, Column C", then its text on
// indented lines (and maybe "See Line L, Column C for detail."). Folded to
// one line, "Line L, Column C: text", errors joined by "; ", so that a
// warning can carry it; control bytes become blanks.
std::string one_line(const std::string& text) {
  std::string out;
  std::istringstream lines(text);
  std::string line;
  bool afterLocation = false;
  while (std::getline(lines, line)) {
    for (char& c : line) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    const std::size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    line = line.substr(first, line.find_last_not_of(' ') + 1 - first);
    if (line.compare(0, 2, "* ") == 0) {
      if (!out.empty()) out += "; ";
      out += line.substr(2);
      afterLocation = true;
      continue;
    }
    if (!out.empty()) out += afterLocation ? ": " : " ";
    out += line;
    afterLocation = false;
  }
  return out;
}

// A configuration of which nothing could be read.
bool read_nothing(Json::Value& value, std::string* errors, const std::string& why) {
  value = Json::Value(Json::objectValue);
  *errors = why;
  return false;
}

// The file's bytes, at most kConfFileMaxBytes + 1 of them (so that a file
// over the limit shows as such); false when it cannot be read.
bool read_bounded(std::ifstream& in, std::string* text) {
  char chunk[kReadChunk];
  while (text->size() <= kConfFileMaxBytes) {
    const std::size_t want = std::min(sizeof chunk, kConfFileMaxBytes + 1 - text->size());
    in.read(chunk, static_cast<std::streamsize>(want));
    text->append(chunk, static_cast<std::size_t>(in.gcount()));
    if (in.bad()) return false;
    if (in.eof()) break;
  }
  return true;
}

}  // namespace

bool readJsonConfFile(const char* path, Json::Value& value, std::string* errors) {
  std::string ignored;
  if (errors == nullptr) errors = &ignored;
  errors->clear();
  if (path == nullptr) return read_nothing(value, errors, "no file name");
  std::ifstream in(path, std::ios::binary);
  if (!in) return read_nothing(value, errors, std::string("cannot open: ") + std::strerror(errno));
  std::string text;
  if (!read_bounded(in, &text)) {
    return read_nothing(value, errors, std::string("cannot read: ") + std::strerror(errno));
  }
  if (text.size() > kConfFileMaxBytes) {
    return read_nothing(value, errors,
                        "larger than " + std::to_string(kConfFileMaxBytes) + " bytes");
  }

  Json::CharReaderBuilder builder;
  builder["allowComments"] = true;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string found;
  // The reader builds in place and leaves `value` untouched when it finds
  // nothing at all: start from the empty configuration.
  value = Json::Value(Json::objectValue);
  try {
    const char* begin = text.data();
    if (reader->parse(begin, begin + text.size(), &value, &found)) return true;
  } catch (const std::exception& e) {
    // Nesting beyond the reader's limit (or memory running out) ends the
    // read by a throw, part-way: none of it is used.
    return read_nothing(value, errors, one_line(e.what()));
  }
  *errors = one_line(found);
  return false;
}
