// The daemon binary's command line: help and version bytes, exit statuses,
// and the start-up failures a user meets first.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "support/proc.h"
#include "support/tempdir.h"
#include "support/tcp_client.h"

namespace {

using std::chrono::seconds;

const char* const kHelp =
    "norvalen [OPTIONS]\n"
    "\n"
    "Опции программы : \n"
    " -p,--port   <portnum>   Использовать номер порта для сервера (по умолчанию 54122)\n"
    " -c,--config <filename>  Использовать файл конфигурации filename\n"
    " -u,--url    <URL>       Указать url (параметр \"ConnectionString\" конфигурации)\n"
    "                         для поключенияк серверу процессингового центра. Данный\n"
    "                         параметр переопределяет значение заданное в файле конфигурации\n"
    "\n"
    " -U,--usename <USERID>   Имя пользователя для авторзации в процессинговой системе Tavrel\n"
    " -s,--passwd <PASSWD>    Указать пароль для авторзации в процессинговой системе Tavrel\n"
    " -t,--tls | -n, --notls  Включить/отключить шифрование TLS\n"
    "                         Можно указывать только один из параметров, который переопределяет\n"
    "                         параметр кофигурации \"UseTLS\"\n"
    "\n"
    // "(СA)": a Cyrillic Es followed by a Latin A, as the help has always read.
    " -A,--cert <filepath>    Указать путь к файлу центра сертификации (\xD0\xA1" "A)\n"
    " -C,--capath <path>      Указать путь к каталогу содержащему сертификаты СА\n"
    " -K,--key  <filepath>    Указать путь к файлу клиентского сертификата\n"
    " -d,--debug              Запустить  без отключения от управляющего терминала\n"
    " -v,--version            Вывести информацию о версии программы и завершить работу\n"
    " -h,--help               Показать эту справочную информацию и выйти\n"
    "\n";

TEST(CommandLineBinary, HelpAndVersionBytes) {
  ProcessResult help = RunProcess(NORVALEN_BIN, {"-h"}, seconds(10));
  EXPECT_EQ(help.status, ExitStatus::Exited(0));
  EXPECT_EQ(help.out, kHelp);
  ProcessResult longHelp = RunProcess(NORVALEN_BIN, {"--help", "--bogus"}, seconds(10));
  EXPECT_EQ(longHelp.out, kHelp);

  ProcessResult version = RunProcess(NORVALEN_BIN, {"-v"}, seconds(10));
  EXPECT_EQ(version.status, ExitStatus::Exited(0));
  EXPECT_EQ(version.out, "norvalen : Версия - 0.1.0.147\n\n");
}

TEST(CommandLineBinary, ExitStatuses) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* errText;  // expected on standard error, or null
  } cases[] = {
      {{"-t", "-n"}, 22,
       "Неправильно заданы аргументы : используйте либо -t(--tls) либо -n (--notls)\n"
       "Для справки вызовите <norvalen -h|--help >\n"},
      {{"-t", "-t"}, 22, nullptr},
      {{"-dt", "--notls"}, 22, nullptr},
      {{"-x"}, 1, nullptr},
      {{"--port"}, 1, nullptr},
  };
  for (const Case& c : cases) {
    ProcessResult r = RunProcess(NORVALEN_BIN, c.args, seconds(10));
    EXPECT_EQ(r.status, ExitStatus::Exited(c.status)) << c.args[0];
    if (c.errText) {
      EXPECT_EQ(r.err, c.errText);
    }
    EXPECT_EQ(r.out, "") << c.args[0];
  }
}

TEST(CommandLineBinary, WithoutTheRussianLocaleItStopsWithOneLine) {
  // With LOCPATH pointing nowhere the C library finds no locale but "C".
  ProcessResult r = RunProcess("/usr/bin/env", {"LOCPATH=/nonexistent", NORVALEN_BIN, "-v"}, seconds(10));
  EXPECT_EQ(r.status, ExitStatus::Exited(1));
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "norvalen : не установлена локаль ru_RU.UTF-8; создайте её (locale-gen ru_RU.UTF-8) и "
            "запустите снова\n");
}

TEST(CommandLineBinary, NoJournalDirectoryStopsStartUpWithTheJournalText) {
  TempDir dir;
  std::string conf = dir.writeFile(
      "tavrel.conf", "{\"DbPath\": \"" + dir.file("missing") + "\", \"LogPath\": \"" + dir.path() +
                         "\", \"RunPath\": \"" + dir.path() + "\"}");
  ProcessResult r = RunProcess(NORVALEN_BIN, {"-d", "-c", conf}, seconds(10));
  EXPECT_EQ(r.status, ExitStatus::Exited(1));
  EXPECT_NE(r.err.find("ERROR: Ошибка инициализации БД : unable to open database file"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("Завершение работы кассовой компоненты системы лояльности  \"Tavrel\""),
            std::string::npos);
}

// With every key at its default the journal is /var/opt/norvalen/db/tavrel.db3;
// on a machine without that directory start-up stops at the journal, which
// shows which configuration was taken.
class DefaultsStartUp : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access("/var/opt/norvalen/db", F_OK) == 0) GTEST_SKIP() << "an installed journal directory exists";
  }
};

TEST_F(DefaultsStartUp, ConfigurationThatIsNotAnObjectTakesTheDefaults) {
  TempDir dir;
  std::string conf = dir.writeFile("tavrel.conf", "[1, 2, 3]");
  ProcessResult r = RunProcess(NORVALEN_BIN, {"-d", "-c", conf}, seconds(10));
  EXPECT_EQ(r.status, ExitStatus::Exited(1));
  EXPECT_NE(r.err.find("Файл конфигурации " + conf +
                       " не содержит объекта JSON : используются значения по умолчанию"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("Используется файл конфигурации " + conf), std::string::npos);
  EXPECT_NE(r.out.find("[ /var/opt/norvalen/db/tavrel.db3 ]"), std::string::npos) << r.out;
}

TEST_F(DefaultsStartUp, MissingConfigFileStartsWithDefaultsAndNoConfigLine) {
  TempDir dir;
  ProcessResult r = RunProcess(NORVALEN_BIN, {"-d", "-c", dir.file("nope.conf")}, seconds(10));
  EXPECT_EQ(r.status, ExitStatus::Exited(1));
  EXPECT_EQ(r.out.find("Используется файл конфигурации"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("[ /var/opt/norvalen/db/tavrel.db3 ]"), std::string::npos) << r.out;
}

}  // namespace
