#include "service/startup.h"

#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "interface/ws_transport.h"
#include "runner/runner.h"
#include "service/config.h"
#include "service/daemon.h"
#include "service/log.h"
#include "service/options.h"
#include "service/paths.h"
#include "service/server.h"
#include "service/session.h"
#include "socket/socket.h"
#include "util/convert.h"
#include "util/text_field.h"

namespace {

const char* const kRuLocale = "ru_RU.UTF-8";

// Connections not yet accepted wait here. A queue as long as the session
// limit lets a burst of registers connect at once instead of each extra one
// waiting for TCP to try again a second later.
const int kListenBacklog = kMaxSessions;

// Numbers stay in the "C" conventions; character classification and
// messages follow the Russian locale the console texts are written in.
bool set_process_locale() {
  std::setlocale(LC_ALL, "C");
  if (std::setlocale(LC_CTYPE, kRuLocale) == nullptr) return false;
  std::setlocale(LC_MESSAGES, kRuLocale);
  return true;
}

// A start-up failure: written to both logs as the caller chooses, and handed
// to the launching process of a background start.
void report_failure(const std::string& text) { daemonStartFailed(text); }

std::string base_name(const char* execfile) {
  std::string word = execfile ? execfile : "";
  size_t slash = word.rfind('/');
  return slash == std::string::npos ? word : word.substr(slash + 1);
}

}  // namespace

uint16_t settlePort(uint16_t crmServPort, const Json::Value& conf) {
  if (crmServPort != 0) return crmServPort;
  std::string text = getConfVal("Port", conf, "");
  int port = 0;
  if (text.empty() || _stoi(text, &port, nullptr, 10) != 0) return 54122;
  // A "Port" that reads as no number ("abc", "") comes through the integer
  // key rule as 0; listening on an arbitrary port would hide the daemon from
  // every POS, so 0 means the standard port.
  uint16_t kept = static_cast<uint16_t>(port);
  return kept == 0 ? 54122 : kept;
}

int serviceMain(int argc, char** argv) {
  const char* execfile = argc > 0 ? argv[0] : "norvalen";
  std::string progname = base_name(execfile);

  if (!set_process_locale()) {
    std::fprintf(stderr,
                 "%s : не установлена локаль %s; создайте её (locale-gen %s) и запустите снова\n",
                 progname.c_str(), kRuLocale, kRuLocale);
    return 1;
  }
  // Every file the service creates may hold card numbers.
  umask(kFileModeMask);

  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) {
    int e = errno;
    wide_write(progname + " : Ошибка выполнения программы : error = " + n2str(e) + " : " +
                   std::strerror(e) + "\n",
               1);
    return e;
  }

  StartOptions opts;
  if (parseOptions(argc, argv, &opts) != 0) return 1;
  if (opts.execState == EXEC_HELP) {
    usage(progname.c_str());
    return 0;
  }
  if (opts.execState == EXEC_VERSION) {
    version();
    return 0;
  }
  if (opts.p_opt_tls > 1) {
    wide_write("Неправильно заданы аргументы : используйте либо -t(--tls) либо -n (--notls)\n"
               "Для справки вызовите <" + progname + " -h|--help >\n",
               1);
    return 22;
  }

  bool wide = !opts.detach;
  Json::Value conf(Json::objectValue);
  std::vector<std::string> warnings;  // for the error log, once it is open
  std::string config_file = findConfigFile(opts.p_opt_config.given, opts.p_opt_config.text);
  if (!config_file.empty()) {
    std::string errors;
    if (!readJsonConfFile(config_file.c_str(), conf, &errors)) {
      // The keys the reader delivered before the mistake are still used.
      warnings.push_back("Ошибка в файле конфигурации " + config_file + " : " + errors);
    }
    if (!conf.isObject()) {
      // A file that holds some other JSON value configures nothing: every
      // key takes its default.
      warnings.push_back("Файл конфигурации " + config_file +
                         " не содержит объекта JSON : используются значения по умолчанию");
      conf = Json::Value(Json::objectValue);
    }
  }
  // The daemon changes to "/" before it opens its files, so relative paths
  // are taken from the directory it was started in.
  FilePaths paths = absolutePaths(derivePaths(progname, conf), cwd);

  log("Инициализация кассовой компоненты системы лояльности \"Tavrel\"", 0, wide);
  detach = opts.detach;
  if (detach) {
    daemonize(paths.pidFile.c_str(), TextOrNull(paths.logFile), TextOrNull(paths.errFile),
              startupBoundSeconds(conf));
  }
  for (const std::string& warning : warnings) log(warning, 1, wide);

  pRun = &objRun;
  pRun->set_pid_file(TextOrNull(paths.pidFile));
  pRun->set_log_path(TextOrNull(paths.logDir));
  pRun->set_log_file(TextOrNull(paths.logFile));
  pRun->set_err_file(TextOrNull(paths.errFile));
  pRun->set_dbg_file(TextOrNull(paths.dbgFile));
  pRun->set_dbfile(TextOrNull(paths.dbFile));
  if (!config_file.empty()) log("Используется файл конфигурации " + config_file, 0, wide);

  applyOptions(opts, conf);
  Json::Value holder(Json::objectValue);
  holder["Conf"] = conf;
  const uint16_t port = settlePort(opts.crmServPort, holder["Conf"]);

  installSignalHandlers();
  if (!startStopWatcher()) {
    const std::string text = "Ошибка запуска потока остановки сервера";
    log(text, 1, wide);
    log(text, 0, wide);
    report_failure(text);
    return 1;
  }
  log("Инициализация кассовой компоненты системы лояльности  \"Tavrel\"", 0, wide);

  // Held to the end: a stop ends the process without unwinding this frame.
  const CurlGlobal curlGlobal;
  {
    // Start-up uses the runner like a command does: a stop that arrives
    // meanwhile must not end it under start-up's feet.
    std::lock_guard<std::mutex> running(lock_conns);
    try {
      pRun->initFramework();
      pRun->InitTavrelCRM(holder["Conf"]);
    } catch (const tavrelException& e) {
      log(e.what(), 0, wide);
      log(e.what(), 1, wide);
      log("Завершение работы кассовой компоненты системы лояльности  \"Tavrel\"", 0, wide);
      report_failure(e.what());
      endRunner(pRun);
      return 1;
    }
  }

  std::unique_ptr<TCPServerSocket> server;
  try {
    server.reset(new TCPServerSocket(port, kListenBacklog));
  } catch (const SocketException& e) {
    const std::string text = std::string(e.what()) + " : порт " + n2str(static_cast<int>(port));
    log(text, 1, wide);
    log(text, 0, wide);
    report_failure(text);
    std::lock_guard<std::mutex> running(lock_conns);
    endRunner(pRun);
    return 1;
  }
  log("Сервер инициализирован и готов к принятию соединений на порту " + n2str(static_cast<int>(port)),
      0, wide);
  daemonReady();

  while (force_exit == 0) {
    try {
      admitClient(server->accept());
    } catch (const SocketException& e) {
      if (force_exit != 0) break;
      log(e.what(), 1, wide);
      log(e.what(), 0, wide);
    }
  }
  // A stop signal ended the loop: the stop itself may already be under way
  // on the watcher thread, and stopService lets only one of them run it.
  if (force_exit != 0) stopService();
  server.reset();
  endRunner(pRun);
  return 0;
}
