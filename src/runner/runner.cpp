#include "runner/runner.h"

#include "interface/ws_ctx.h"
#include "service/config.h"
#include "service/log.h"
#include "util/convert.h"
#include "util/text_field.h"

namespace {

std::string setting(const char* key, const Json::Value& conf) { return getConfVal(key, conf, ""); }

bool flag_setting(const char* key, const Json::Value& conf) { return str2bool(setting(key, conf)); }

// The fallback stays when the text is empty or holds no number.
int int_setting(const char* key, const Json::Value& conf, int fallback) {
  int value = fallback;
  std::string text = setting(key, conf);
  if (!text.empty()) _stoi(text, &value, nullptr, 10);
  return value;
}

}  // namespace

CentreLimits readCentreLimits(const Json::Value& conf) {
  CentreLimits limits;
  limits.connectTimeout = int_setting("ConnectTimeout", conf, CentreLimits::kDefaultSeconds);
  limits.sendRecvTimeout = int_setting("SendRecvTimeout", conf, CentreLimits::kDefaultSeconds);
  limits.retryCount = int_setting("RetryCount", conf, 1);
  if (limits.connectTimeout <= 0) limits.connectTimeout = CentreLimits::kDefaultSeconds;
  if (limits.sendRecvTimeout < 0) limits.sendRecvTimeout = limits.connectTimeout;
  if (limits.sendRecvTimeout == 0) limits.sendRecvTimeout = CentreLimits::kDefaultSeconds;
  if (limits.retryCount < 1) limits.retryCount = 2;
  return limits;
}

int startupBoundSeconds(const Json::Value& conf) {
  const CentreLimits limits = readCentreLimits(conf);
  const long long journal = storage::kBusyTimeoutMs / 1000 + 1;
  const long long margin = 5;
  // Each attempt is one whole transfer at most, and a pause of one second
  // comes before every attempt but the first.
  // In 64 bits: a time limit of INT_MAX seconds must not overflow the sum.
  const long long check =
      static_cast<long long>(limits.retryCount) * (static_cast<long long>(limits.sendRecvTimeout) + 1);
  const long long total = journal + check + margin;
  return total > 86400 ? 86400 : static_cast<int>(total);
}

void runner_log(const std::string& text, bool alsoError) {
  log(text, 0, false);
  if (alsoError) log(text, 1, false);
}

tavrelRunner::tavrelRunner() = default;

tavrelRunner::~tavrelRunner() { endTavrelCRM(); }

void tavrelRunner::set_log_path(const char* path) { AssignText(logPath, path); }
void tavrelRunner::set_log_file(const char* path) { AssignText(logFile, path); }
void tavrelRunner::set_err_file(const char* path) { AssignText(errFile, path); }
void tavrelRunner::set_dbg_file(const char* path) { AssignText(dbgFile, path); }
void tavrelRunner::set_pid_file(const char* path) { AssignText(pidFile, path); }
void tavrelRunner::set_dbfile(const char* path) { AssignText(dbFile, path); }

const char* tavrelRunner::getTerminal() const { return TextOrNull(defaultTerminal); }
const char* tavrelRunner::getLocation() const { return TextOrNull(defaultLocation); }
const char* tavrelRunner::getUserID() const { return TextOrNull(userId); }
const char* tavrelRunner::getUserPass() const { return TextOrNull(userPass); }
const char* tavrelRunner::getSessionType() const { return TextOrNull(sessionType); }
const char* tavrelRunner::getToken() const { return TextOrNull(token); }
const char* tavrelRunner::getEndPoint() const { return TextOrNull(endPoint); }
void tavrelRunner::setTerminal(const char* text) { AssignText(defaultTerminal, text); }
void tavrelRunner::setLocation(const char* text) { AssignText(defaultLocation, text); }
void tavrelRunner::setUserID(const char* text) { AssignText(userId, text); }
void tavrelRunner::setUserPass(const char* text) { AssignText(userPass, text); }
void tavrelRunner::setSessionType(const char* text) { AssignText(sessionType, text); }
void tavrelRunner::setToken(const char* text) { AssignText(token, text); }
void tavrelRunner::setEndPoint(const char* text) { AssignText(endPoint, text); }

bool tavrelRunner::isJsonRoot(const Json::Value& request) const {
  if (!checkPmtJsonRoot) return true;
  if (pmtJsonRootName.empty()) return false;
  return request.isObject() && request.isMember(pmtJsonRootName);
}

const char* tavrelRunner::JsonRoot() const { return TextOrNull(pmtJsonRootName); }

void tavrelRunner::setCard(tavrelCardInfo* card) {
  if (card == nullptr || card == cardRecord) return;
  if (cardRecord != nullptr && !cardRecord->self_owned()) delete cardRecord;
  cardRecord = card;
}

void tavrelRunner::clearInfo() {
  if (cardRecord != nullptr && !cardRecord->self_owned()) delete cardRecord;
  cardRecord = nullptr;
}

tavrelCardInfo* tavrelRunner::ensureCard() {
  if (cardRecord == nullptr) {
    cardRecord = new tavrelCardInfo();
    cardRecord->_change_own_state(false);
  }
  return cardRecord;
}

void tavrelRunner::clearConnInfo() { connSet.clear(); }
void tavrelRunner::clearCardInfo() { cardSet.clear(); }
void tavrelRunner::clearPaymentInfo() { paymentSet.clear(); }
void tavrelRunner::clearRtrnInfo() { rtrnSet.clear(); }
void tavrelRunner::clearCommitInfo() { commitSet.clear(); }
void tavrelRunner::clearUndoInfo() { undoSet.clear(); }

WS_ctx* tavrelRunner::initFramework() {
  if (wsCtx == nullptr) {
    wsCtx = wsctx_new();
    if (wsCtx == nullptr) throw tavrelException("Ошибка инициализации модуля работы с Tavrel", false);
  }
  wsctx_init(wsCtx);
  return wsCtx;
}

void tavrelRunner::readSettings(const Json::Value& conf) {
  daemonNeedConnect = flag_setting("DaemonNeedConnect", conf);
  checkPmtJsonRoot = flag_setting("CheckPmtJsonRoot", conf);
  pmtJsonRootName = setting("PmtJsonRootName", conf);
  defaultTerminal = setting("Terminal", conf);
  defaultLocation = setting("Locaion", conf);
  endPoint = setting("ConnectionString", conf);
  wsctx_set_endpoint(wsCtx, endPoint.c_str());
  useTLS = flag_setting("UseTLS", conf);
  certFilePath = setting("CertFilePath", conf);
  certsCAPath = setting("CertsCAPath", conf);
  certKeyFile = setting("CertKeyFile", conf);
  certKeyPassword = setting("CertKeyPassword", conf);
  randomDataPath = setting("RandomDataPath", conf);
  userId = setting("UserId", conf);
  userPass = setting("UserPass", conf);
  const CentreLimits limits = readCentreLimits(conf);
  connectTimeout = limits.connectTimeout;
  sendRecvTimeout = limits.sendRecvTimeout;
  retryCount = limits.retryCount;
  flushTimeout = int_setting("BackgndFlushPeriod", conf, 0);
  offlineCheckTimeout = int_setting("OfflineCheckPeriod", conf, 0);
  sessionTokenTTL = int_setting("SessionTokenTTL", conf, 0);
  debug = flag_setting("DebugEnable", conf);
  productIdLength = int_setting("ProductIdLength", conf, 0);
  productIdZeros = flag_setting("ProductIdZeros", conf);
}

void tavrelRunner::openJournal() {
  runner_log("Инициализация локальной БД для Tavrel");
  journalDb.setDBPath(TextOrNull(dbFile));
  const char* path = journalDb.getDBPath();
  std::string shown = std::string("[ ") + (path ? path : " - ") + " ]";
  if (storage::TavrelDb::dbExists(path)) {
    runner_log("Открытие БД : " + shown);
    journalDb.open();
  } else {
    runner_log("Создание новой БД : " + shown);
    journalDb.initDb();
  }
  if (journalDb.err() != 0) {
    const char* text = journalDb.errMsg();
    throw tavrelException(std::string("ERROR: Ошибка инициализации БД : ") +
                              (text && *text ? text : " "),
                          false);
  }
  runner_log("Успешно");
}

int tavrelRunner::InitTavrelCRM(const Json::Value& conf) {
  if (initialized) return 0;
  if (wsCtx == nullptr) initFramework();
  readSettings(conf);

  wsCtx->max_attempts = retryCount;
  wsCtx->connect_timeout = static_cast<unsigned>(connectTimeout);
  wsCtx->recv_timeout = sendRecvTimeout;
  wsCtx->send_timeout = sendRecvTimeout;
  wsCtx->tls = useTLS ? 1 : 0;
  wsctx_reset_counter(wsCtx);

  openJournal();
  if (useTLS) runner_log("Инициализация SSL/TLS");

  Json::Value block(Json::objectValue);
  block["Connect"] = Json::Value(Json::objectValue);
  Json::Value reply;
  int result = runConnInfo(block, reply);
  if (result == -1 || result == 22) runner_log("Не удалось получить ответ от процессинга Tavrel");
  if (result != 0) {
    std::string text = "ERROR: Ошибка инициализации модуля работы Tavrel : [";
    if (reply.isObject() && reply["err"].isString()) text += reply["err"].asString();
    text += "]";
    if (reply.isObject() && reply["errMsg"].isString()) text += " : " + reply["errMsg"].asString();
    if (reply.isObject() && reply["errInfo"].isString()) {
      text += " : Detail :" + reply["errInfo"].asString();
    }
    if (daemonNeedConnect) throw tavrelException(text, false);
  }
  initialized = true;
  runner_log(std::string("Статус соединения : ( Connected = ") + (connected ? " TRUE )" : " FALSE )"));
  runner_log(std::string("Демон инициализирован в режиме ") + (online ? "ONLINE" : "OFFLINE"));
  return result;
}

void tavrelRunner::releaseContext() {
  if (wsCtx == nullptr) return;
  wsctx_destroy(wsCtx);
  wsctx_done(wsCtx);
  wsctx_free(wsCtx);
  wsCtx = nullptr;
}

int tavrelRunner::endTavrelCRM() {
  clearInfo();
  clearConnInfo();
  clearCardInfo();
  clearPaymentInfo();
  clearRtrnInfo();
  clearCommitInfo();
  clearUndoInfo();
  releaseContext();
  initialized = false;
  online = false;
  connected = false;
  journalDb.close();
  return 0;
}
