// Installation on a register: which libraries a daemon-only build looks
// for, the tree "cmake --install" leaves, the Debian package cpack makes
// from this build tree, its maintainer scripts, the systemd unit, the
// logrotate rules and the man page.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "service/options.h"
#include "support/daemon_process.h"
#include "support/proc.h"
#include "support/sim_process.h"
#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;

// What a register gets, with its modes: the same in the install tree and in
// the package. Never tavrel-sim, never a test.
const std::map<std::string, unsigned> kRegisterFiles = {
    {"/opt/norvalen/bin/norvalen", 0755},
    {"/opt/norvalen/bin/norvalen-pos", 0755},
    {"/opt/norvalen/share/man/man8/norvalen.8", 0644},
    {"/etc/opt/norvalen/tavrel.conf", 0640},
    {"/lib/systemd/system/norvalen.service", 0644},
    {"/etc/logrotate.d/norvalen", 0644},
};

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\n") - first + 1);
}

// Runs `command` (its first word looked up in PATH) with `env` ("NAME=value")
// added to the environment.
ProcessResult RunTool(const std::vector<std::string>& command, const std::vector<std::string>& env = {},
                  seconds timeout = seconds(60)) {
  std::vector<std::string> args = env;
  args.insert(args.end(), command.begin(), command.end());
  return RunProcess("/usr/bin/env", args, timeout);
}

std::string Shown(const ProcessResult& r) {
  std::ostringstream out;
  out << r.status << "\nstdout:\n" << r.out << "\nstderr:\n" << r.err;
  return out.str();
}

bool HaveTool(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

// Regular files under `root`, by their path on the register, with their
// permission bits; a symbolic link counts with mode 0.
std::map<std::string, unsigned> FilesUnder(const std::string& root) {
  std::map<std::string, unsigned> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    const fs::file_status st = entry.symlink_status();
    if (fs::is_directory(st)) continue;
    const std::string path = entry.path().string().substr(root.size());
    files[path] = fs::is_symlink(st) ? 0 : static_cast<unsigned>(st.permissions()) & 07777;
  }
  return files;
}

// ---- A daemon-only build ----

struct ConfigureCase {
  const char* what;
  std::vector<std::string> options;
  // pkg-config sees only the daemon's libraries (jsoncpp, sqlite3, libcurl).
  bool daemonLibrariesOnly;
  // The missing package the configure stops at; nullptr when it succeeds.
  const char* missing;
};

// GoogleTest is never found, so a configure that looks for it fails; with
// the daemon's libraries only, one that looks for cpp-httplib fails too.
// The failing cases show that the restriction bites.
TEST(Configure, TheDaemonAloneNeedsOnlyItsOwnLibraries) {
  TempDir pc;
  for (const char* module : {"jsoncpp", "sqlite3", "libcurl"}) {
    ProcessResult dir = RunTool({"pkg-config", "--variable=pcfiledir", module});
    ASSERT_EQ(dir.status, ExitStatus::Exited(0)) << Shown(dir);
    const std::string name = std::string(module) + ".pc";
    fs::copy_file(trim(dir.out) + "/" + name, pc.file(name));
  }
  const std::vector<ConfigureCase> cases = {
      {"the daemon only",
       {"-DNORVALEN_BUILD_SIM=OFF", "-DNORVALEN_BUILD_POS=OFF", "-DNORVALEN_BUILD_TESTS=OFF"},
       true,
       nullptr},
      {"the POS client (the tests go off with the simulator)",
       {"-DNORVALEN_BUILD_SIM=OFF"},
       true,
       nullptr},
      {"the simulator", {"-DNORVALEN_BUILD_POS=OFF", "-DNORVALEN_BUILD_TESTS=OFF"}, true,
       "cpp-httplib"},
      {"the defaults (the tests)", {}, false, "GTest"},
  };
  for (const ConfigureCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir tree;
    std::vector<std::string> command = {NORVALEN_CMAKE, "-S", NORVALEN_SOURCE_DIR,
                                        "-B", tree.path(), "-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON"};
    command.insert(command.end(), c.options.begin(), c.options.end());
    std::vector<std::string> env;
    if (c.daemonLibrariesOnly) env = {"PKG_CONFIG_LIBDIR=" + pc.path(), "PKG_CONFIG_PATH="};
    ProcessResult r = RunTool(command, env, seconds(100));
    const std::string cache = ReadFile(tree.file("CMakeCache.txt")).value_or("");
    if (c.missing == nullptr) {
      EXPECT_EQ(r.status, ExitStatus::Exited(0)) << Shown(r);
      EXPECT_FALSE(contains(cache, "HTTPLIB_FOUND")) << "cpp-httplib looked for";
      EXPECT_FALSE(contains(cache, "GTest_DIR")) << "GoogleTest looked for";
    } else {
      EXPECT_EQ(r.status, ExitStatus::Exited(1)) << Shown(r);
      EXPECT_TRUE(contains(r.out + r.err, c.missing)) << Shown(r);
    }
  }
}

// ---- The install tree ----

class InstallTree : public ::testing::Test {
 protected:
  void SetUp() override {
    ProcessResult r = RunTool({NORVALEN_CMAKE, "--install", NORVALEN_BUILD_DIR}, {"DESTDIR=" + root.path()});
    ASSERT_EQ(r.status, ExitStatus::Exited(0)) << Shown(r);
  }
  std::string at(const std::string& path) const { return root.path() + path; }

  TempDir root;
};

TEST_F(InstallTree, HoldsTheRegistersFilesWithTheirModes) {
  EXPECT_EQ(FilesUnder(root.path()), kRegisterFiles);
  EXPECT_EQ(ReadFile(at("/etc/opt/norvalen/tavrel.conf")),
            ReadFile(std::string(NORVALEN_SOURCE_DIR) + "/packaging/tavrel.conf"));
  ProcessResult version = RunTool({at("/opt/norvalen/bin/norvalen"), "-v"});
  EXPECT_EQ(version.status, ExitStatus::Exited(0)) << Shown(version);
  EXPECT_TRUE(contains(version.out, NORVALEN_VERSION)) << Shown(version);
}

// systemd-analyze checks the unit against the tree it is installed in, with
// the targets it refers to taken from this machine's systemd.
TEST_F(InstallTree, TheUnitPassesSystemdAnalyze) {
  const std::string units = "/lib/systemd/system";
  if (!HaveTool("systemd-analyze") || !fs::exists(units + "/sysinit.target")) {
    GTEST_SKIP() << "systemd-analyze or systemd's own units are not installed";
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(units)) {
    const std::string ext = entry.path().extension().string();
    if ((ext == ".target" || ext == ".slice") && entry.is_regular_file()) {
      fs::copy_file(entry.path(), at(units + "/" + entry.path().filename().string()));
    }
  }
  ProcessResult verify = RunTool({"systemd-analyze", "verify", "--root=" + root.path(), "norvalen.service"});
  EXPECT_EQ(verify.status, ExitStatus::Exited(0)) << Shown(verify);
  EXPECT_EQ(verify.out + verify.err, "") << "no warning either";

  // The hardening, as systemd weighs it: an exposure of at most 2.0 ("OK").
  ProcessResult security = RunTool({"systemd-analyze", "security", "--offline=yes",
                                "--root=" + root.path(), "--threshold=20", "norvalen.service"});
  EXPECT_EQ(security.status, ExitStatus::Exited(0)) << Shown(security);
}

TEST_F(InstallTree, TheManPageRendersWithoutWarnings) {
  const std::string page = at("/opt/norvalen/share/man/man8/norvalen.8");
  ProcessResult groff = RunTool({"groff", "-man", "-ww", "-z", page});
  EXPECT_EQ(groff.status, ExitStatus::Exited(0)) << Shown(groff);
  EXPECT_EQ(groff.err, "");

  ProcessResult man = RunTool({"man", "--warnings", "-l", page}, {"MANWIDTH=80", "MANPAGER=cat"});
  EXPECT_EQ(man.status, ExitStatus::Exited(0)) << Shown(man);
  EXPECT_EQ(man.err, "");
  for (const char* section : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "FILES", "SIGNALS",
                              "EXIT STATUS", "SEE ALSO"}) {
    EXPECT_TRUE(contains(man.out, std::string("\n") + section + "\n")) << section;
  }
  EXPECT_TRUE(contains(man.out, "norvalen " NORVALEN_VERSION));
  // Every option the daemon accepts is described under OPTIONS.
  const size_t from = man.out.find("\nOPTIONS\n");
  const size_t to = man.out.find("\nFILES\n");
  ASSERT_LT(from, to);
  const std::string options = man.out.substr(from, to - from);
  for (const char* c = szGetopt; *c != '\0'; ++c) {
    if (*c == ':') continue;
    bool described = false;
    for (const char* after : {" ", ",", "\n"}) {
      described = described || contains(options, std::string(" -") + *c + after);
    }
    EXPECT_TRUE(described) << "-" << *c << " in\n" << options;
  }
}

bool WaitFor(const std::string& path, const std::string& part, seconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!contains(ReadFile(path).value_or(""), part)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// The installed rules, applied to a daemon's log directory: the daemon keeps
// its log open and writes on into the emptied file, from its start.
TEST_F(InstallTree, LogrotateEmptiesTheLogTheDaemonKeepsWritingTo) {
  TavrelSim sim;
  ASSERT_TRUE(sim.start()) << sim.error();
  NorvalenDaemon daemon;
  daemon.writeConfig(sim.url());
  const std::string log = daemon.dir().file("norvalen.log");
  Process launcher;
  ASSERT_TRUE(launcher.start(NORVALEN_BIN, {"-c", daemon.configPath()}));
  ASSERT_EQ(launcher.wait(seconds(40)), ExitStatus::Exited(0)) << launcher.stderrText();
  const pid_t pid = static_cast<pid_t>(
      std::atol(ReadFile(daemon.dir().file("norvalen.pid")).value_or("0").c_str()));
  ASSERT_GT(pid, 0);
  struct Killer {
    pid_t pid;
    ~Killer() {
      if (::kill(pid, 0) == 0) ::kill(pid, SIGKILL);
    }
  } killer{pid};
  const std::string ready = "готов к принятию соединений";
  ASSERT_TRUE(WaitFor(log, ready, seconds(10)));

  std::string rules = ReadFile(at("/etc/logrotate.d/norvalen")).value_or("");
  const std::string logDir = "/var/opt/norvalen/log/";
  size_t replaced = 0;
  for (size_t pos = rules.find(logDir); pos != std::string::npos; pos = rules.find(logDir, pos)) {
    rules.replace(pos, logDir.size(), daemon.dir().path() + "/");
    ++replaced;
  }
  ASSERT_EQ(replaced, 2u) << rules;
  TempDir work;
  const std::string config = work.writeFile("norvalen", rules);
  ASSERT_EQ(::chmod(config.c_str(), 0644), 0) << "logrotate skips rules others may change";
  ProcessResult rotate = RunTool({"logrotate", "-f", "-s", work.file("state"), config});
  ASSERT_EQ(rotate.status, ExitStatus::Exited(0)) << Shown(rotate);
  EXPECT_EQ(rotate.err, "");
  EXPECT_TRUE(contains(ReadFile(log + ".1").value_or(""), ready)) << "the old lines, uncompressed";
  EXPECT_EQ(ReadFile(log), std::optional<std::string>("")) << "emptied in place";

  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  ASSERT_TRUE(WaitFor(log, "Остановка сервера по сигналу : 15", seconds(10)));
  const std::string after = ReadFile(log).value_or("");
  EXPECT_EQ(after.find('\0'), std::string::npos) << "written at the new end, not the old offset";
  EXPECT_EQ(after.substr(0, 1), "(") << after;
  EXPECT_FALSE(contains(after, ready));
}

// ---- The Debian package ----

std::string Field(const std::string& deb, const char* name) {
  return trim(RunTool({"dpkg-deb", "-f", deb, name}).out);
}

// Package names of a Depends field, alternatives included.
std::set<std::string> DependNames(const std::string& depends) {
  std::set<std::string> names;
  std::string name;
  bool inVersion = false;
  for (char c : depends + ",") {
    if (c == '(') inVersion = true;
    if (c == ')') inVersion = false;
    if (c == ',' || c == '|') {
      if (!trim(name).empty()) names.insert(trim(name));
      name.clear();
    } else if (!inVersion && c != ')') {
      name += c;
    }
  }
  return names;
}

TEST(DebianPackage, HoldsTheRegistersFilesItsDependenciesAndScripts) {
  TempDir out;
  ProcessResult cpack = RunTool({NORVALEN_CPACK, "-G", "DEB", "-B", out.path(), "--config",
                             std::string(NORVALEN_BUILD_DIR) + "/CPackConfig.cmake"},
                            {}, seconds(100));
  ASSERT_EQ(cpack.status, ExitStatus::Exited(0)) << Shown(cpack);
  const std::string arch = trim(RunTool({"dpkg", "--print-architecture"}).out);
  const std::string deb = out.file("norvalen_" NORVALEN_VERSION "_" + arch + ".deb");
  ASSERT_TRUE(fs::exists(deb)) << Shown(cpack);

  EXPECT_EQ(Field(deb, "Package"), "norvalen");
  EXPECT_EQ(Field(deb, "Version"), NORVALEN_VERSION);
  EXPECT_EQ(Field(deb, "Architecture"), arch);
  const std::set<std::string> depends = DependNames(Field(deb, "Depends"));
  // The daemon's libraries, whatever their soname suffix on this release.
  for (const char* library : {"libjsoncpp", "libsqlite3-", "libcurl4", "libossp-uuid"}) {
    bool found = false;
    for (const std::string& name : depends) found = found || name.rfind(library, 0) == 0;
    EXPECT_TRUE(found) << library << " in " << Field(deb, "Depends");
  }
  EXPECT_EQ(depends.count("adduser"), 1u) << "postinst runs it";
  for (const std::string& name : depends) {
    EXPECT_FALSE(contains(name, "-dev") || contains(name, "gtest") || contains(name, "httplib"))
        << name;
  }

  // "-rwxr-xr-x root/root 348336 2024-01-01 10:00 ./opt/norvalen/bin/norvalen"
  ProcessResult list = RunTool({"dpkg-deb", "-c", deb});
  ASSERT_EQ(list.status, ExitStatus::Exited(0)) << Shown(list);
  std::map<std::string, unsigned> files;
  for (const std::string& line : lines(list.out)) {
    std::istringstream words(line);
    std::string perms, owner, size, date, time, path;
    words >> perms >> owner >> size >> date >> time >> path;
    EXPECT_EQ(owner, "root/root") << line;
    if (perms.empty() || perms[0] == 'd') continue;
    unsigned mode = 0;
    for (size_t i = 1; i < 10 && i < perms.size(); ++i) mode = mode * 2 + (perms[i] != '-');
    files[path.substr(1)] = mode;
  }
  EXPECT_EQ(files, kRegisterFiles);
  EXPECT_FALSE(contains(list.out, "tavrel-sim"));

  TempDir control;
  ProcessResult extract = RunTool({"dpkg-deb", "-e", deb, control.path()});
  ASSERT_EQ(extract.status, ExitStatus::Exited(0)) << Shown(extract);
  const std::vector<std::string> conffiles = lines(ReadFile(control.file("conffiles")).value_or(""));
  EXPECT_EQ(std::set<std::string>(conffiles.begin(), conffiles.end()),
            (std::set<std::string>{"/etc/opt/norvalen/tavrel.conf", "/etc/logrotate.d/norvalen"}));
  for (const char* script : {"postinst", "prerm", "postrm"}) {
    SCOPED_TRACE(script);
    struct stat st;
    ASSERT_EQ(::stat(control.file(script).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    EXPECT_EQ(ReadFile(control.file(script)),
              ReadFile(std::string(NORVALEN_SOURCE_DIR) + "/packaging/" + script));
  }
}

// ---- The maintainer scripts ----

// Runs a maintainer script of packaging/ with a PATH of stubs only: every
// command it runs is recorded in the log instead of touching this machine,
// and one it has no stub for fails the script. getent finds the user with
// USER_EXISTS=1; "systemctl is-active" succeeds with ACTIVE=1.
class MaintainerScript : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* const kStub =
        "#!/bin/sh\n"
        "echo \"${0##*/} $*\" >>\"$LOG\"\n"
        "case \"${0##*/} $1\" in\n"
        "  'getent passwd'|'getent group') [ \"$USER_EXISTS\" = 1 ] || exit 2 ;;\n"
        "  'systemctl is-active'|'systemctl is-enabled') [ \"$ACTIVE\" = 1 ] || exit 3 ;;\n"
        "  'dpkg-statoverride --list') exit 1 ;;\n"
        "  'locale -a') echo C.UTF-8 ;;\n"
        "esac\n"
        "exit 0\n";
    for (const char* tool : {"adduser", "deluser", "delgroup", "getent", "install", "chown", "rm",
                             "dpkg-statoverride", "systemctl", "locale"}) {
      const std::string path = stubs.writeFile(tool, kStub);
      ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
    }
    // grep only reads: the real one.
    const std::string grep = stubs.writeFile("grep", "#!/bin/sh\nexec /bin/grep \"$@\"\n");
    ASSERT_EQ(::chmod(grep.c_str(), 0755), 0);
  }

  // The commands `script` ran with `args`, one per line.
  std::vector<std::string> run(const char* script, const std::vector<std::string>& args,
                               const std::vector<std::string>& env = {}) {
    std::vector<std::string> command = {"-i", "PATH=" + stubs.path(), "LOG=" + log()};
    command.insert(command.end(), env.begin(), env.end());
    command.push_back("/bin/sh");
    command.push_back(std::string(NORVALEN_SOURCE_DIR) + "/packaging/" + script);
    command.insert(command.end(), args.begin(), args.end());
    ::unlink(log().c_str());
    last = RunProcess("/usr/bin/env", command, seconds(30));
    EXPECT_EQ(last.status, ExitStatus::Exited(0)) << Shown(last);
    return lines(ReadFile(log()).value_or(""));
  }
  std::string log() const { return work.file("commands"); }

  static bool ran(const std::vector<std::string>& commands, const std::string& line) {
    for (const std::string& c : commands) {
      if (c == line) return true;
    }
    return false;
  }
  static bool ranAny(const std::vector<std::string>& commands, const std::string& start) {
    for (const std::string& c : commands) {
      if (c.rfind(start, 0) == 0) return true;
    }
    return false;
  }

  TempDir stubs, work;
  ProcessResult last;
};

TEST_F(MaintainerScript, AFirstInstallMakesTheUserAndDirectoriesButDoesNotStartTheService) {
  std::vector<std::string> commands = run("postinst", {"configure", ""});
  EXPECT_TRUE(ran(commands, "adduser --system --group --no-create-home --home /var/opt/norvalen "
                            "--quiet norvalen"));
  for (const char* dir : {"run", "log", "db"}) {
    EXPECT_TRUE(ran(commands, std::string("install -d -o norvalen -g norvalen -m 0750 "
                                          "/var/opt/norvalen/") + dir));
  }
  EXPECT_TRUE(ran(commands, "dpkg-statoverride --update --add root norvalen 0640 "
                            "/etc/opt/norvalen/tavrel.conf"));
  EXPECT_TRUE(ranAny(commands, "chown -R norvalen:norvalen "));
  EXPECT_FALSE(ranAny(commands, "systemctl enable"));
  EXPECT_FALSE(ranAny(commands, "systemctl start"));
  EXPECT_FALSE(ranAny(commands, "systemctl restart"));
  EXPECT_FALSE(ranAny(commands, "systemctl try-restart")) << "nothing runs yet";
  EXPECT_TRUE(contains(last.out, "systemctl enable --now norvalen")) << last.out;
  EXPECT_TRUE(contains(last.out, "ru_RU.UTF-8")) << "the missing locale is named";
}

TEST_F(MaintainerScript, AnUpgradeKeepsTheUserAndWhatTheJournalDirectoryHolds) {
  std::vector<std::string> commands = run("postinst", {"configure", "0.1.0.146"}, {"USER_EXISTS=1"});
  EXPECT_FALSE(ranAny(commands, "adduser"));
  EXPECT_FALSE(ranAny(commands, "chown"));
  EXPECT_TRUE(ran(commands, "install -d -o norvalen -g norvalen -m 0750 /var/opt/norvalen/db"));
  EXPECT_FALSE(ranAny(commands, "systemctl enable"));
  EXPECT_FALSE(ranAny(commands, "systemctl start"));
  EXPECT_FALSE(contains(last.out, "systemctl enable --now")) << "said at the first install";

  // The upgrade leaves a running service running: prerm does not stop it.
  commands = run("prerm", {"upgrade", "0.1.0.148"}, {"ACTIVE=1"});
  EXPECT_FALSE(ranAny(commands, "systemctl stop"));
}

TEST_F(MaintainerScript, ARemovalStopsTheServiceAndKeepsTheJournal) {
  std::vector<std::string> commands = run("prerm", {"remove"}, {"ACTIVE=1"});
  EXPECT_TRUE(ran(commands, "systemctl stop norvalen.service"));
  commands = run("prerm", {"remove"});
  EXPECT_FALSE(ranAny(commands, "systemctl stop")) << "a service that does not run";

  commands = run("postrm", {"remove"}, {"USER_EXISTS=1"});
  EXPECT_FALSE(ranAny(commands, "rm -rf"));
  EXPECT_FALSE(ranAny(commands, "deluser"));
}

TEST_F(MaintainerScript, APurgeRemovesTheJournalAndTheUser) {
  std::vector<std::string> commands = run("postrm", {"purge"}, {"USER_EXISTS=1"});
  EXPECT_TRUE(ran(commands, "rm -rf /var/opt/norvalen"));
  EXPECT_TRUE(ran(commands, "deluser --system --quiet norvalen"));
  EXPECT_TRUE(ran(commands, "rm -f /etc/systemd/system/multi-user.target.wants/norvalen.service"));
}

}  // namespace
