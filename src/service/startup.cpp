#include "service/startup.h"

#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

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

// Numbers stay in the "C" conventions; character classification and
// messages follow the Russian locale the console texts are written in.
bool set_process_locale() {
  std::setlocale(LC_ALL, "C");
  if (std::setlocale(LC_CTYPE, kRuLocale) == nullptr) return false;
  std::setlocale(LC_MESSAGES, kRuLocale);
  return true;
}

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
    std::fprintf(stderr, "%s : locale %s is not installed; generate it (locale-gen %s) and start again\n",
                 progname.c_str(), kRuLocale, kRuLocale);
    return 1;
  }

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
  std::string config_file = findConfigFile(opts.p_opt_config.given, opts.p_opt_config.text);
  if (!config_file.empty()) {
    readJsonConfFile(config_file.c_str(), conf);
    if (!conf.isObject()) {
      // A file that holds some other JSON value configures nothing: every
      // key takes its default.
      std::fprintf(stderr, "%s : %s does not hold a JSON object; using the defaults\n",
                   progname.c_str(), config_file.c_str());
      conf = Json::Value(Json::objectValue);
    }
  }
  FilePaths paths = derivePaths(progname, conf);

  log("Инициализация кассовой компоненты системы лояльности \"Tavrel\"", 0, wide);
  detach = opts.detach;
  if (detach) {
    daemonize(paths.pidFile.c_str(), TextOrNull(paths.logFile), TextOrNull(paths.errFile));
  }

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
  startStopWatcher();
  log("Инициализация кассовой компоненты системы лояльности  \"Tavrel\"", 0, wide);

  try {
    pRun->initFramework();
    pRun->InitTavrelCRM(holder["Conf"]);
  } catch (const tavrelException& e) {
    log(e.what(), 0, wide);
    log(e.what(), 1, wide);
    log("Завершение работы кассовой компоненты системы лояльности  \"Tavrel\"", 0, wide);
    endRunner(pRun);
    return 1;
  }

  std::unique_ptr<TCPServerSocket> server;
  try {
    server.reset(new TCPServerSocket(port, 3));
  } catch (const SocketException& e) {
    log(e.what(), 1, wide);
    log(e.what(), 0, wide);
    endRunner(pRun);
    return 1;
  }
  log("Сервер инициализирован и готов к принятию соединений на порту " + n2str(static_cast<int>(port)),
      0, wide);

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
