// tavrelRunner: the one object through which the daemon talks to the
// processing centre. It holds the settings, the shared call context, the
// journal, the card record, the connection state, the last command and the
// message objects of the last call of each kind.
//
// Not thread-safe by design: the client sessions call every operation and
// clear operation only while they hold the process-wide operation lock.
#ifndef NORVALEN_RUNNER_RUNNER_H_
#define NORVALEN_RUNNER_RUNNER_H_

#include <atomic>
#include <memory>
#include <string>

#include <json/json.h>

#include "interface/cards.h"
#include "interface/commits.h"
#include "interface/connect.h"
#include "interface/payment.h"
#include "interface/rtrn.h"
#include "interface/undo.h"
#include "runner/card_info.h"
#include "runner/message_set.h"
#include "runner/tavrel_exception.h"
#include "service/commands.h"
#include "storage/tavrel_db.h"

struct WS_ctx;
class FrameOperation;

using ConnectionSet = MessageSet<interface::connect::Connection_Proxy, interface::connect::Connection_Input,
                                 interface::connect::Connection_Output>;
using CardSet =
    MessageSet<interface::cards::Card_Proxy, interface::cards::Card_Input, interface::cards::Card_Output>;
using PaymentSet = MessageSet<interface::payment::Payment_Proxy, interface::payment::Payment_Input,
                              interface::payment::Payment_Output>;
using RtrnSet =
    MessageSet<interface::rtrn::Rtrn_Proxy, interface::rtrn::Rtrn_Input, interface::rtrn::Rtrn_Output>;
using CommitSet = MessageSet<interface::commits::Commit_Proxy, interface::commits::Commit_Input,
                             interface::commits::Commit_Output>;
using UndoSet =
    MessageSet<interface::undo::Undo_Proxy, interface::undo::Undo_Input, interface::undo::Undo_Output>;

// The processing centre's time limits and attempt limit as the runner
// applies them. A time limit that is not positive would reach the transport
// as "no limit", so a centre that accepts the connection and never answers
// would hold the operation lock for ever: it takes the default instead. A
// negative "SendRecvTimeout" takes the (positive) "ConnectTimeout"; a
// "RetryCount" below 1 becomes 2.
struct CentreLimits {
  static const int kDefaultSeconds = 10;
  int connectTimeout = kDefaultSeconds;
  int sendRecvTimeout = kDefaultSeconds;
  int retryCount = 2;
};
CentreLimits readCentreLimits(const Json::Value& conf);

// The longest that InitTavrelCRM can take with these settings: the journal's
// busy wait, then every attempt of the first connection check at its full
// time limit with the pause between attempts, plus a margin. A background
// start waits this long for the daemon to report that it serves.
int startupBoundSeconds(const Json::Value& conf);

class tavrelRunner {
 public:
  tavrelRunner();
  ~tavrelRunner();
  tavrelRunner(const tavrelRunner&) = delete;
  tavrelRunner& operator=(const tavrelRunner&) = delete;

  // File names from start-up (null is empty); kept for reference, except the
  // journal path.
  void set_log_path(const char* path);
  void set_log_file(const char* path);
  void set_err_file(const char* path);
  void set_dbg_file(const char* path);
  void set_pid_file(const char* path);
  void set_dbfile(const char* path);

  // Creates the shared call context when there is none and sets it to its
  // defaults; throws tavrelException when it cannot be had.
  WS_ctx* initFramework();
  // Reads the settings, opens or creates the journal and checks the centre.
  // Returns the check's result (0 when already initialised); throws
  // tavrelException when the journal fails, or when the check fails and
  // "DaemonNeedConnect" is on.
  int InitTavrelCRM(const Json::Value& conf);
  // Releases the card record, the message sets, the call context and closes
  // the journal; returns 0.
  int endTavrelCRM();

  // The operations: each takes the whole request block and replaces the
  // reply slot of its command word; returns 0 or the failure's code.
  int runConnInfo(const Json::Value& block, Json::Value& reply);
  int runCardInfo(const Json::Value& block, Json::Value& reply);
  int runPaymentInfo(const Json::Value& block, Json::Value& reply, bool flag);
  int runRtrnInfo(const Json::Value& block, Json::Value& reply, bool flag);
  int runCommitInfo(const Json::Value& block, Json::Value& reply, bool flag);
  int runUndoInfo(const Json::Value& block, Json::Value& reply, bool flag);

  void clearConnInfo();
  void clearCardInfo();
  void clearPaymentInfo();
  void clearRtrnInfo();
  void clearCommitInfo();
  void clearUndoInfo();

  // POS envelope.
  bool isJsonRoot(const Json::Value& request) const;
  const char* JsonRoot() const;
  bool useJsonRoot() const { return checkPmtJsonRoot; }

  bool isOnline() const { return online; }
  bool NetStatus() const { return netStatus != 0; }
  bool debugEnabled() const { return debug; }
  bool isInitialized() const { return initialized; }
  bool isConnected() const { return connected; }
  bool isUndoAllow() const { return lastCommand == CMD_PAY_BONUS || lastCommand == CMD_PAY_RETURN; }
  CmdCodes getLastCommand() const { return lastCommand; }
  void setLastCommand(CmdCodes code) { lastCommand = code; }

  storage::TavrelDb* Storage() { return &journalDb; }
  tavrelCardInfo* cardInfo() const { return cardRecord; }
  void setCard(tavrelCardInfo* card);
  void clearInfo();

  int getProductIdLenght() const { return productIdLength < 0 ? 0 : productIdLength; }
  bool isProductZeroFilled() const { return productIdLength > 0 ? productIdZeros : false; }

  const char* getTerminal() const;
  const char* getLocation() const;
  const char* getUserID() const;
  const char* getUserPass() const;
  const char* getSessionType() const;
  const char* getToken() const;
  const char* getEndPoint() const;
  void setTerminal(const char* text);
  void setLocation(const char* text);
  void setUserID(const char* text);
  void setUserPass(const char* text);
  void setSessionType(const char* text);
  void setToken(const char* text);
  void setEndPoint(const char* text);  // the runner's copy only
  int getFlushTimeout() const { return flushTimeout; }
  int getOfflineCheckTimeout() const { return offlineCheckTimeout; }

  // Settings as read, for inspection.
  int getRetryCount() const { return retryCount; }
  int getConnectTimeout() const { return connectTimeout; }
  int getSendRecvTimeout() const { return sendRecvTimeout; }
  bool getUseTLS() const { return useTLS; }
  bool getDaemonNeedConnect() const { return daemonNeedConnect; }
  WS_ctx* sharedContext() const { return wsCtx; }

 private:
  // The frame runs every operation; operations reach the runner through it.
  friend class FrameOperation;

  // The operation frame shared by all operations (operation_frame.cpp).
  int runFrame(FrameOperation& op, const Json::Value& block, Json::Value& reply);
  // The card record, created on demand; null when it cannot be had.
  tavrelCardInfo* ensureCard();
  void readSettings(const Json::Value& conf);
  void openJournal();
  void releaseContext();

  tavrelCardInfo* cardRecord = nullptr;
  std::string pmtJsonRootName = "TVL";
  bool checkPmtJsonRoot = true;
  bool useTLS = true;
  std::string logPath, logFile, errFile, dbgFile, pidFile;
  std::string dbFile;
  bool debug = false;
  int productIdLength = 0;
  bool productIdZeros = false;
  bool daemonNeedConnect = false;
  std::string endPoint;
  std::string userId;
  std::string userPass;
  std::string token;
  std::string sessionType = "Stateless";
  std::string defaultTerminal;
  std::string defaultLocation;
  int sessionTokenTTL = 300;
  int connectTimeout = 10;
  int sendRecvTimeout = 10;
  int retryCount = 2;
  int flushTimeout = 900;
  int offlineCheckTimeout = 900;
  std::string certFilePath, certKeyFile, certKeyPassword, certsCAPath, randomDataPath;
  storage::TavrelDb journalDb;
  WS_ctx* wsCtx = nullptr;
  ConnectionSet connSet;
  CardSet cardSet;
  PaymentSet paymentSet;  // kept for the Commit or Undo that settles it
  RtrnSet rtrnSet;        // likewise
  CommitSet commitSet;
  UndoSet undoSet;
  bool initialized = false;
  bool connected = false;
  // Read without the lock by every new session for its first log line.
  std::atomic<bool> online{false};
  bool opOffline = false;
  std::atomic<int> netStatus{0};
  CmdCodes lastCommand = CMD_UNKNOWN;
};

// The runner's log lines: always the byte form, to the operation log, and
// with `alsoError` a second time to the error log.
void runner_log(const std::string& text, bool alsoError = false);

#endif  // NORVALEN_RUNNER_RUNNER_H_
