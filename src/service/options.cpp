#include "service/options.h"

#include <getopt.h>

#include <cstdlib>

#include "service/log.h"
#include "util/convert.h"

const char* const szProject = "norvalen";
const char* const szVersion = "0.1.0.147";
const char* const szConfFileName = "tavrel.conf";
const char* const szGetopt = "p:c:u:U:P:s:tnC:A:K:dhv";

namespace {

const struct option longopts[] = {
    {"port", required_argument, nullptr, 'p'},   {"config", required_argument, nullptr, 'c'},
    {"url", required_argument, nullptr, 'u'},    {"username", required_argument, nullptr, 'U'},
    {"passwd", required_argument, nullptr, 'P'}, {"socket", required_argument, nullptr, 's'},
    {"tls", no_argument, nullptr, 't'},          {"notls", no_argument, nullptr, 'n'},
    {"cert", required_argument, nullptr, 'A'},   {"key", required_argument, nullptr, 'K'},
    {"capath", required_argument, nullptr, 'C'}, {"debug", no_argument, nullptr, 'd'},
    {"help", no_argument, nullptr, 'h'},         {"version", no_argument, nullptr, 'v'},
    {nullptr, 0, nullptr, 0},
};

}  // namespace

int parseOptions(int argc, char** argv, StartOptions* opts) {
  optind = 0;  // full re-initialisation, so the parser can run more than once
  int c;
  while ((c = getopt_long(argc, argv, szGetopt, longopts, nullptr)) != -1) {
    switch (c) {
      case 'p':
        opts->crmServPort = static_cast<uint16_t>(std::atoi(optarg));
        break;
      case 'c': opts->p_opt_config.set(optarg); break;
      case 'u': opts->p_opt_connect.set(optarg); break;
      case 'U': opts->p_opt_user.set(optarg); break;
      // The help text names --passwd for the password, so -P/--passwd
      // sets it exactly as -s does.
      case 'P':
      case 's': opts->p_opt_pass.set(optarg); break;
      case 't': opts->tlsEnable = true; ++opts->p_opt_tls; break;
      case 'n': opts->tlsEnable = false; ++opts->p_opt_tls; break;
      case 'A': opts->p_opt_crt.set(optarg); break;
      case 'K': opts->p_opt_key.set(optarg); break;
      case 'C': opts->p_opt_capath.set(optarg); break;
      case 'd': opts->detach = false; break;
      case 'h': opts->execState = EXEC_HELP; return 0;
      case 'v': opts->execState = EXEC_VERSION; return 0;
      default: return 1;
    }
  }
  return 0;
}

void applyOptions(const StartOptions& opts, Json::Value& conf) {
  if (!conf.isObject()) conf = Json::Value(Json::objectValue);
  if (opts.p_opt_connect.given) conf["ConnectionString"] = opts.p_opt_connect.text;
  if (opts.p_opt_tls != 0) conf["UseTLS"] = opts.tlsEnable;
  if (opts.p_opt_crt.given) conf["CertFilePath"] = opts.p_opt_crt.text;
  if (opts.p_opt_key.given) conf["CertKeyFile"] = opts.p_opt_key.text;
  if (opts.p_opt_capath.given) conf["CertsCAPath"] = opts.p_opt_capath.text;
  if (opts.p_opt_user.given) conf["UserId"] = opts.p_opt_user.text;
  if (opts.p_opt_pass.given) conf["UserPass"] = opts.p_opt_pass.text;
}

void usage(const char* progname) {
  std::string text;
  text += std::string(progname ? progname : "") + " [OPTIONS]\n";
  text += "\n";
  text += "Опции программы : \n";
  text += " -p,--port   <portnum>   Использовать номер порта для сервера (по умолчанию " +
          n2str(54122) + ")\n";
  text += " -c,--config <filename>  Использовать файл конфигурации filename\n";
  text += " -u,--url    <URL>       Указать url (параметр \"ConnectionString\" конфигурации)\n";
  text += "                         для поключенияк серверу процессингового центра. Данный\n";
  text += "                         параметр переопределяет значение заданное в файле конфигурации\n";
  text += "\n";
  text += " -U,--usename <USERID>   Имя пользователя для авторзации в процессинговой системе Tavrel\n";
  text += " -s,--passwd <PASSWD>    Указать пароль для авторзации в процессинговой системе Tavrel\n";
  text += " -t,--tls | -n, --notls  Включить/отключить шифрование TLS\n";
  text += "                         Можно указывать только один из параметров, который переопределяет\n";
  text += "                         параметр кофигурации \"UseTLS\"\n";
  text += "\n";
  text += " -A,--cert <filepath>    Указать путь к файлу центра сертификации (СA)\n";
  text += " -C,--capath <path>      Указать путь к каталогу содержащему сертификаты СА\n";
  text += " -K,--key  <filepath>    Указать путь к файлу клиентского сертификата\n";
  text += " -d,--debug              Запустить  без отключения от управляющего терминала\n";
  text += " -v,--version            Вывести информацию о версии программы и завершить работу\n";
  text += " -h,--help               Показать эту справочную информацию и выйти\n";
  text += "\n";
  wide_write(text, 0);
}

void version() { wide_write(std::string(szProject) + " : Версия - " + szVersion + "\n\n", 0); }
