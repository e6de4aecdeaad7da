#include "service/session.h"

#include <pthread.h>

#include <atomic>
#include <exception>
#include <memory>
#include <vector>

#include "runner/runner.h"
#include "service/commands.h"
#include "service/log.h"
#include "service/request_framer.h"
#include "service/server.h"
#include "socket/socket.h"
#include "util/convert.h"
#include "util/json_value.h"

namespace {

const char* const kBadFormat = "Формат запроса задан неверно";
const char* const kNoLinkText = "Отсутствует соединение";

// Sessions counted by admitClient and not yet ended.
std::atomic<int> open_sessions{0};

void session_log(const std::string& text) { log(text, 0, !detach); }

// A failure of the session layer: to the error log and the operation log.
void both_logs(const std::string& text) {
  log(text, 1, !detach);
  session_log(text);
}

// Gives back the place of one session when its thread ends, however it ends.
class SessionPlace {
 public:
  SessionPlace() = default;
  ~SessionPlace() { open_sessions.fetch_sub(1); }
  SessionPlace(const SessionPlace&) = delete;
  SessionPlace& operator=(const SessionPlace&) = delete;
};

std::string prefix(unsigned long threadId) { return "[" + std::to_string(threadId) + "] : "; }

void send_reply(const Json::Value& value, unsigned long threadId, const ReplySender& send) {
  std::string text = JsonOut(value, false);
  send(text);
  session_log(prefix(threadId) + " <= " + text);
}

void refuse(Json::Value& slot, const char* err, const char* errMsg) {
  slot["err"] = err;
  slot["errMsg"] = errMsg;
}

const char* command_log_text(CmdCodes code) {
  switch (code) {
    case CMD_CONNECT: return "Запрос проверки соединения с процессингом Tavrel ";
    case CMD_CARD_INFO: return "Запрос на получение информации по карте";
    case CMD_PAY_BONUS: return "Запрос на cписание/начисление бонусов";
    case CMD_PAY_RETURN: return "Запрос на возврат бонусов";
    case CMD_COMMIT: return "Запрос на подтверждение списания/возврата бонусов";
    case CMD_UNDO: return "Запрос на отмену последней операции по списанию/возврату бонусов";
    case CMD_END: return "Инициализирована команда на закрытие сессии";
    case CMD_FLUSH:
    case CMD_SYNC_TASK: return "Получен запрос, который не поддерживается";
    default: return "Получен неизвестный запрос";
  }
}

// The runner work of one command.
void run_command(tavrelRunner& runner, CmdCodes code, const Json::Value& block, Json::Value& slot) {
  switch (code) {
    case CMD_CONNECT: {
      runner.clearConnInfo();
      slot["err"] = "0";
      int result = runner.runConnInfo(block, slot);
      slot["err"] = n2str(result);
      break;
    }
    case CMD_CARD_INFO:
      runner.clearCardInfo();
      runner.runCardInfo(block, slot);
      break;
    case CMD_PAY_BONUS:
      runner.clearPaymentInfo();
      runner.runPaymentInfo(block, slot, false);
      break;
    case CMD_PAY_RETURN:
      runner.clearRtrnInfo();
      runner.runRtrnInfo(block, slot, false);
      break;
    case CMD_COMMIT:
      runner.clearCommitInfo();
      runner.runCommitInfo(block, slot, false);
      break;
    case CMD_UNDO:
      runner.clearUndoInfo();
      if (runner.isUndoAllow()) {
        runner.runUndoInfo(block, slot, false);
      } else {
        refuse(slot, "-1", "Операция отмены в данный момент невозможна");
      }
      break;
    case CMD_END:
      runner.clearConnInfo();
      break;
    default:
      break;
  }
}

void run_locked(tavrelRunner& runner, CmdCodes code, const Json::Value& block, Json::Value& slot) {
  runUnderLock([&] { run_command(runner, code, block, slot); }, slot);
}

void command_failed(Json::Value& slot, const std::string& text) {
  slot = Json::Value(Json::objectValue);
  refuse(slot, "-1", kNoLinkText);
  both_logs(text);
}

}  // namespace

void runUnderLock(const std::function<void()>& work, Json::Value& slot) {
  try {
    std::lock_guard<std::mutex> guard(lock_conns);
    work();
  } catch (const std::exception& e) {
    command_failed(slot, std::string("Ошибка выполнения команды : ") + e.what());
  } catch (...) {
    command_failed(slot, "Ошибка выполнения команды");
  }
}

Json::Value errorReply(const char* err, const char* errMsg) {
  Json::Value reply(Json::objectValue);
  refuse(reply["ERROR"], err, errMsg);
  return reply;
}

bool processRequest(tavrelRunner& runner, const std::string& text, unsigned long threadId,
                    const ReplySender& send) {
  const std::string requestLine = prefix(threadId) + " => " + text;
  Json::Value request;
  if (!JsonParse(text, request) || !request.isObject()) {
    session_log(requestLine);
    send_reply(errorReply("-1", kBadFormat), threadId, send);
    return false;
  }
  if (!runner.isJsonRoot(request)) {
    session_log(requestLine);
    send_reply(errorReply("-2", "Нет определения платежной системы в запросе"), threadId, send);
    return false;
  }
  const bool wrapped = runner.useJsonRoot();
  const std::string root = wrapped && runner.JsonRoot() ? runner.JsonRoot() : "";
  const Json::Value& block = wrapped ? request[root] : request;
  if (!block.isObject() || block.size() > kMaxMembers) {
    session_log(requestLine);
    send_reply(errorReply("-1", kBadFormat), threadId, send);
    return false;
  }

  // The replies are built inside their envelope, so that sending one needs
  // no copy of what the commands answered.
  Json::Value envelope(Json::objectValue);
  Json::Value& replies = wrapped ? envelope[root] : envelope;
  replies = Json::Value(Json::objectValue);
  bool first = true;
  for (const std::string& word : block.getMemberNames()) {
    const CmdCodes code = getCmdCode(word);
    session_log(command_log_text(code));
    if (first) {
      session_log(requestLine);
      first = false;
    }
    Json::Value& slot = replies[word];
    switch (code) {
      case CMD_END:
        run_locked(runner, code, block, slot);
        return true;
      case CMD_FLUSH:
      case CMD_SYNC_TASK:
        refuse(slot, "-3", "Тип запроса не поддерживается");
        break;
      case CMD_UNKNOWN:
        refuse(slot, "-2", "Тип запроса неизвестен");
        break;
      case CMD_CARD_INFO:
        slot["err"] = "-1";
        run_locked(runner, code, block, slot);
        break;
      default:
        run_locked(runner, code, block, slot);
        break;
    }
    send_reply(envelope, threadId, send);
  }
  return false;
}

void* HandleTcpClient(void* socket) {
  pthread_detach(pthread_self());
  SessionPlace place;  // declared first: given back after the socket is closed
  std::unique_ptr<TCPSocket> sock(static_cast<TCPSocket*>(socket));
  const unsigned long threadId = static_cast<unsigned long>(pthread_self());
  try {
    std::string address;
    try {
      address = sock->getForeignAddress();
    } catch (const SocketException&) {
      both_logs("Ошибка получения адреса клиента");
      return nullptr;
    }
    unsigned short port = 0;
    try {
      port = sock->getForeignPort();
    } catch (const SocketException&) {
      both_logs("Ошибка получения порта клиента");
      return nullptr;
    }
    session_log("Подключение клиента " + address + ":" + std::to_string(port) + " в потоке " +
                std::to_string(threadId));
    session_log(std::string("Online State  : [") + (pRun && pRun->isOnline() ? "ONLINE" : "OFFLINE") +
                "][" + (pRun && pRun->NetStatus() ? "1" : "0") + "]");
    if (pRun == nullptr) return nullptr;

    ReplySender send = [&sock](const std::string& line) { sock->sendAll(line.data(), line.size()); };
    // On the stack: its pages become resident only as bytes arrive.
    char chunk[kReceiveChunk];
    RequestFramer framer;
    bool end = false;
    while (!end) {
      std::vector<RequestFramer::Item> requests;
      if (framer.waiting() && !sock->waitReadable(RequestFramer::kQuietTimeMs)) {
        framer.flush(&requests);
      } else {
        const std::size_t received = sock->recv(chunk, sizeof(chunk));
        if (received == 0) break;
        framer.feed(chunk, received, &requests);
      }
      for (const RequestFramer::Item& item : requests) {
        if (item.oversized) {
          session_log(prefix(threadId) + " => (запрос длиннее " +
                      std::to_string(RequestFramer::kMaxRequest) + " байт отброшен)");
          send_reply(errorReply("-1", kBadFormat), threadId, send);
          continue;
        }
        if (item.unfinished) {
          session_log(prefix(threadId) + " => " + item.text);
          session_log(prefix(threadId) + " => (запрос не завершён за " +
                      std::to_string(RequestFramer::kQuietTimeMs) + " мс)");
          send_reply(errorReply("-1", kBadFormat), threadId, send);
          continue;
        }
        if (processRequest(*pRun, item.text, threadId, send)) {
          end = true;
          break;
        }
      }
    }
  } catch (...) {
    // A failed receive or send ends the session; the process goes on.
  }
  return nullptr;
}

void admitClient(std::unique_ptr<TCPSocket> client) {
  if (!client) return;
  if (open_sessions.fetch_add(1) >= kMaxSessions) {
    open_sessions.fetch_sub(1);
    client.reset();  // closed before anything else is done for it
    both_logs("Отказ в подключении: открыто сессий " + std::to_string(kMaxSessions) +
              " (предел)");
    return;
  }
  pthread_t thread;
  TCPSocket* handed = client.release();
  if (pthread_create(&thread, nullptr, HandleTcpClient, handed) != 0) {
    open_sessions.fetch_sub(1);
    both_logs("Ошибка создание потока подключения клиента");
    delete handed;
  }
}
