// Configuration keys, derived paths and the command line, driven through the
// library functions the daemon's start-up uses.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "service/config.h"
#include "service/options.h"
#include "service/paths.h"
#include "service/startup.h"
#include "support/tempdir.h"
#include "util/json_value.h"

namespace {

Json::Value parse(const std::string& text) {
  Json::Value v;
  EXPECT_TRUE(JsonParse(text, v)) << text;
  return v;
}

TEST(ConfigKeys, TableHoldsAllKeysInOrderAndEnds) {
  int rows = 0;
  while (wsConfig[rows].name != nullptr) ++rows;
  EXPECT_EQ(rows, 28);
  EXPECT_STREQ(wsConfig[0].name, "Host");
  EXPECT_STREQ(wsConfig[27].name, "DataBaseFile");
  EXPECT_EQ(findParamOptions("port"), nullptr);  // names are case-sensitive
  EXPECT_EQ(findParamOptions(nullptr), nullptr);
  ASSERT_NE(findParamOptions("RetryCount"), nullptr);
  EXPECT_STREQ(findParamOptions("RetryCount")->defaultText, "2");
}

TEST(ConfigKeys, JsonKindsBecomeKeyText) {
  struct Case {
    const char* conf;
    const char* key;
    const char* expected;
  } cases[] = {
      // flags
      {R"({"UseTLS": true})", "UseTLS", "1"},
      {R"({"UseTLS": false})", "UseTLS", "0"},
      {R"({"UseTLS": 5})", "UseTLS", "1"},
      {R"({"UseTLS": -1})", "UseTLS", "0"},
      {R"({"UseTLS": 0})", "UseTLS", "0"},
      {R"({"UseTLS": 2.5})", "UseTLS", "0"},          // keeps the default "0"
      {R"({"CheckPmtJsonRoot": 2.5})", "CheckPmtJsonRoot", "1"},  // default "1"
      {R"({"UseTLS": "yes"})", "UseTLS", "1"},
      {R"({"UseTLS": "Да"})", "UseTLS", "0"},         // str2bool knows no Russian
      {R"({"DebugEnable": [1]})", "DebugEnable", "0"},
      // integers
      {R"({"Port": "12abc"})", "Port", "12"},
      {R"({"Port": 12.9})", "Port", "12"},
      {R"({"Port": "abc"})", "Port", "0"},
      {R"({"Port": null})", "Port", "54122"},
      {R"({})", "RetryCount", "2"},
      // texts
      {R"({"LogPath": ""})", "LogPath", ""},          // table key: empty stays empty
      {R"({"Terminal": ""})", "Terminal", "dflt"},    // other key: caller's default
      {R"({"Terminal": 42})", "Terminal", "42"},
      {R"({"Terminal": {"a": 1}})", "Terminal", "dflt"},
      {R"({})", "Terminal", "dflt"},
      {R"({})", "PmtJsonRootName", "TVL"},
      {R"({})", "ConnectionString", ""},
      {R"({"Host": true})", "Host", "1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(getConfVal(c.key, parse(c.conf), "dflt"), c.expected) << c.conf << " " << c.key;
  }
  EXPECT_EQ(getConfVal(nullptr, parse("{}"), "dflt"), "");
}

TEST(ConfigKeys, NonObjectConfigurationHoldsNoKeys) {
  EXPECT_EQ(getConfVal("Port", parse("[1,2]"), ""), "54122");
  EXPECT_EQ(getConfVal("Terminal", parse("7"), "x"), "x");
}

TEST(ConfigFile, ReadsCommentsAndReportsParseErrors) {
  char path[] = "/tmp/norvalen-conf-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  FILE* f = fdopen(fd, "w");
  std::fputs("/* shop 12 */ {\n \"Port\": 5000, // listening\n \"Terminal\": \"T1\"\n}\n", f);
  std::fclose(f);
  Json::Value conf;
  EXPECT_TRUE(readJsonConfFile(path, conf));
  EXPECT_EQ(getConfVal("Port", conf, ""), "5000");
  EXPECT_TRUE(FileExists(path));

  f = std::fopen(path, "w");
  std::fputs("{\"Port\": 5000,", f);
  std::fclose(f);
  Json::Value broken;
  EXPECT_FALSE(readJsonConfFile(path, broken));
  std::remove(path);
  EXPECT_FALSE(FileExists(path));
  EXPECT_FALSE(readJsonConfFile(nullptr, broken));
  EXPECT_FALSE(readJsonConfFile(path, broken));
  EXPECT_EQ(findConfigFile(true, path), "");
}

TEST(DerivedPaths, DefaultsAndOverrides) {
  struct Case {
    const char* conf;
    const char* pid;
    const char* db;
    const char* log;
    const char* err;
  } cases[] = {
      {"{}", "/var/opt/norvalen/run/norvalen.pid", "/var/opt/norvalen/db/tavrel.db3",
       "/var/opt/norvalen/log/norvalen.log", "/var/opt/norvalen/log/norvalen.err"},
      {R"({"LogFile": "pos.log", "ErrorFile": "/tmp/e.err"})", "/var/opt/norvalen/run/norvalen.pid",
       "/var/opt/norvalen/db/tavrel.db3", "/var/opt/norvalen/log/pos.log", "/tmp/e.err"},
      {R"({"LogFile": "/tmp/pos.log", "LogPath": ""})", "/var/opt/norvalen/run/norvalen.pid",
       "/var/opt/norvalen/db/tavrel.db3", "/tmp/pos.log", "/var/opt/norvalen/log/norvalen.err"},
      {R"({"DbPath": "/data", "DataBaseFile": "x.db3", "RunPath": "/run/n"})", "/run/n/norvalen.pid",
       "/data/x.db3", "/var/opt/norvalen/log/norvalen.log", "/var/opt/norvalen/log/norvalen.err"},
      {R"({"DbPath": "/data", "DataBaseFile": "/srv/j.db3", "LogPath": "/l"})",
       "/var/opt/norvalen/run/norvalen.pid", "/srv/j.db3", "/l/norvalen.log", "/l/norvalen.err"},
  };
  for (const Case& c : cases) {
    FilePaths p = derivePaths("norvalen", parse(c.conf));
    EXPECT_EQ(p.pidFile, c.pid) << c.conf;
    EXPECT_EQ(p.dbFile, c.db) << c.conf;
    EXPECT_EQ(p.logFile, c.log) << c.conf;
    EXPECT_EQ(p.errFile, c.err) << c.conf;
  }
  // A copy under another name names its own files but shares the journal.
  FilePaths copy = derivePaths("pos2", parse("{}"));
  EXPECT_EQ(copy.pidFile, "/var/opt/norvalen/run/pos2.pid");
  EXPECT_EQ(copy.dbgFile, "/var/opt/norvalen/log/pos2.dbg");
  EXPECT_EQ(copy.dbFile, "/var/opt/norvalen/db/tavrel.db3");
}

TEST(ListeningPort, CommandLineWinsThenConfigurationThenDefault) {
  EXPECT_EQ(settlePort(4464, parse(R"({"Port": 6000})")), 4464);
  EXPECT_EQ(settlePort(0, parse(R"({"Port": 6000})")), 6000);
  EXPECT_EQ(settlePort(0, parse(R"({"Port": "abc"})")), 54122);
  EXPECT_EQ(settlePort(0, parse(R"({"Port": ""})")), 54122);
  EXPECT_EQ(settlePort(0, parse(R"({"Port": 70000})")), 4464);
  EXPECT_EQ(settlePort(0, parse("{}")), 54122);
}

// getopt_long wants mutable words.
struct Argv {
  std::vector<std::string> words;
  std::vector<char*> ptrs;
  explicit Argv(std::vector<std::string> w) : words(std::move(w)) {
    for (std::string& s : words) ptrs.push_back(&s[0]);
    ptrs.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(words.size()); }
  char** argv() { return ptrs.data(); }
};

StartOptions parsed(std::vector<std::string> words, int* status = nullptr) {
  Argv a(std::move(words));
  StartOptions o;
  int rc = parseOptions(a.argc(), a.argv(), &o);
  if (status) *status = rc;
  return o;
}

TEST(CommandLine, OptionsSetTheirValues) {
  StartOptions o = parsed({"norvalen", "-dt", "-p", "70000", "--url=http://c/x", "-U", "u1",
                           "-s", "pw", "-A", "/a.pem", "-K", "/k.pem", "-C", "/ca", "stray"});
  EXPECT_FALSE(o.detach);
  EXPECT_TRUE(o.tlsEnable);
  EXPECT_EQ(o.p_opt_tls, 1);
  EXPECT_EQ(o.crmServPort, 4464);
  EXPECT_EQ(o.p_opt_connect.text, "http://c/x");

  Json::Value conf = parse(R"({"UseTLS": false, "UserId": "old", "UserPass": "old"})");
  applyOptions(o, conf);
  EXPECT_EQ(conf["UseTLS"], Json::Value(true));
  EXPECT_EQ(conf["ConnectionString"], Json::Value("http://c/x"));
  EXPECT_EQ(conf["UserId"], Json::Value("u1"));
  EXPECT_EQ(conf["UserPass"], Json::Value("pw"));
  EXPECT_EQ(conf["CertFilePath"], Json::Value("/a.pem"));
  EXPECT_EQ(conf["CertKeyFile"], Json::Value("/k.pem"));
  EXPECT_EQ(conf["CertsCAPath"], Json::Value("/ca"));
}

TEST(CommandLine, NotlsWritesFalseAndUntouchedKeysStay) {
  StartOptions o = parsed({"norvalen", "-n", "-U", "only"});
  Json::Value conf = parse(R"({"UseTLS": true, "UserPass": "kept"})");
  applyOptions(o, conf);
  EXPECT_EQ(conf["UseTLS"], Json::Value(false));
  EXPECT_EQ(conf["UserId"], Json::Value("only"));
  EXPECT_EQ(conf["UserPass"], Json::Value("kept"));
  EXPECT_FALSE(conf.isMember("ConnectionString"));
}

// A syntax error keeps the keys the reader delivered before it, and the
// reader's own words say where, on one line that a warning can carry.
TEST(ConfigFile, SyntaxErrorKeepsTheKeysReadAndSaysWhereOnOneLine) {
  struct Case {
    const char* text;
    const char* port;  // "Port" as the daemon then reads it
    const char* message;
  } cases[] = {
      {"{\"Port\": 5000,\n \"Host\": \n}", "5000",
       "Line 3, Column 1: Syntax error: value, object or array expected."},
      {"{\"Host\": \"h\" \"Port\": 5000}", "54122",
       "Line 1, Column 14: Missing ',' or '}' in object declaration"},
      {"// shop\n{\"Port\": 5001, \"Terminal\": \"\\u12\"}", "5001",
       "Line 2, Column 28: Bad unicode escape sequence in string: four digits expected. "
       "See Line 2, Column 31 for detail."},
      {"", "54122", "Line 1, Column 1: Syntax error: value, object or array expected."},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string path = dir.writeFile("tavrel.conf", c.text);
    Json::Value conf(Json::objectValue);
    conf["Port"] = 6000;  // the caller's value is not mixed in
    std::string errors = "stale";
    EXPECT_FALSE(readJsonConfFile(path.c_str(), conf, &errors));
    EXPECT_EQ(errors, c.message);
    EXPECT_EQ(getConfVal("Port", conf, ""), c.port);
  }
  // A file that reads leaves no message behind.
  const std::string good = dir.writeFile("good.conf", "{\"Port\": 5002}");
  Json::Value conf;
  std::string errors = "stale";
  EXPECT_TRUE(readJsonConfFile(good.c_str(), conf, &errors));
  EXPECT_EQ(errors, "");
  EXPECT_EQ(getConfVal("Port", conf, ""), "5002");
}

// A file that cannot be read whole configures nothing: not the keys before
// nesting too deep for the reader, nor those of a file too big to hold.
TEST(ConfigFile, UnreadableFileIsAnEmptyConfigurationWithItsReason) {
  TempDir dir;
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  const std::string big = "{\"Port\": 5003" + std::string(kConfFileMaxBytes, ' ') + "}";
  struct Case {
    std::string name;
    std::string path;
    std::string says;  // part of the message
  } cases[] = {
      {"nesting too deep", dir.writeFile("deep.conf", "{\"Port\": 5004, \"x\": " + deep + "}"), ""},
      {"bare deep nesting", dir.writeFile("bare.conf", deep), ""},
      {"too big", dir.writeFile("big.conf", big), std::to_string(kConfFileMaxBytes)},
      {"missing", dir.file("missing.conf"), std::strerror(ENOENT)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Json::Value conf(Json::objectValue);
    conf["Port"] = 6000;  // what the caller held is not kept either
    std::string errors;
    EXPECT_FALSE(readJsonConfFile(c.path.c_str(), conf, &errors));
    EXPECT_TRUE(conf.isObject());
    EXPECT_TRUE(conf.empty());
    EXPECT_EQ(getConfVal("Port", conf, ""), "54122");
    EXPECT_FALSE(errors.empty());
    EXPECT_EQ(errors.find('\n'), std::string::npos) << errors;
    EXPECT_NE(errors.find(c.says), std::string::npos) << errors;
  }
  Json::Value conf;
  std::string errors;
  EXPECT_FALSE(readJsonConfFile(nullptr, conf, &errors));
  EXPECT_FALSE(errors.empty());

  // The largest file that is read.
  const std::string head = "{\"Port\": 5003";
  const std::string text = head + std::string(kConfFileMaxBytes - head.size() - 1, ' ') + "}";
  ASSERT_EQ(text.size(), kConfFileMaxBytes);
  const std::string largest = dir.writeFile("largest.conf", text);
  EXPECT_TRUE(readJsonConfFile(largest.c_str(), conf, &errors)) << errors;
  EXPECT_EQ(getConfVal("Port", conf, ""), "5003");
}

TEST(CommandLine, PasswdSetsThePasswordLikeS) {
  for (const char* form : {"-P", "--passwd"}) {
    int rc = -1;
    StartOptions o = parsed({"norvalen", form, "secret"}, &rc);
    EXPECT_EQ(rc, 0) << form;
    EXPECT_TRUE(o.p_opt_pass.given);
    EXPECT_EQ(o.p_opt_pass.text, "secret");
  }
}

TEST(CommandLine, PortTextReadLikeAtoi) {
  EXPECT_EQ(parsed({"norvalen", "-p", "abc"}).crmServPort, 0);
  EXPECT_EQ(parsed({"norvalen", "-p", "0"}).crmServPort, 0);
  EXPECT_EQ(parsed({"norvalen", "-p", " 81x"}).crmServPort, 81);
}

TEST(CommandLine, TlsCountAndStops) {
  EXPECT_EQ(parsed({"norvalen", "-t", "-t"}).p_opt_tls, 2);
  EXPECT_EQ(parsed({"norvalen", "--tls", "--notls"}).p_opt_tls, 2);
  StartOptions h = parsed({"norvalen", "-h", "-x"});
  EXPECT_EQ(h.execState, EXEC_HELP);
  int rc = 0;
  parsed({"norvalen", "-x"}, &rc);
  EXPECT_EQ(rc, 1);
  parsed({"norvalen", "-p"}, &rc);
  EXPECT_EQ(rc, 1);
}

}  // namespace
