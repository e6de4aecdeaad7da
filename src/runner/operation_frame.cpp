// The operation frame: the steps that every runner operation shares.
#include "runner/operation_frame.h"

#include <unistd.h>

#include <memory>
#include <utility>

#include "interface/ws_ctx.h"
#include "runner/runner.h"
#include "util/convert.h"

namespace {

const char* const kNoLinkText = "Отсутствует соединение";
const char* const kNoUrlText = "Не задан URL для подключения к процессингу Tavrel";
const char* const kBadCommandText = "Неверный формат команды";

// The operation's private copy of the call context, released at its end
// whatever way the operation leaves.
struct PrivateContext {
  void operator()(WS_ctx* ctx) const {
    wsctx_done(ctx);
    wsctx_free(ctx);
  }
};
using PrivateContextPtr = std::unique_ptr<WS_ctx, PrivateContext>;

void set_text(Json::Value& reply, const char* key, const std::string& text) { reply[key] = text; }

}  // namespace

std::string FrameOperation::busyText() const {
  return "Ошибка инициализации получения данных по карте : (система занята) ";
}

int FrameOperation::readRequest(const Json::Value& block) { return input()->readRequest(block); }

std::string FrameOperation::formatText() const { return kBadCommandText; }

tavrelCardInfo* FrameOperation::card() { return runner_.cardInfo(); }

void FrameOperation::markOffline(bool offline) { runner_.opOffline = offline; }

const interface::payment::Payment_Input* FrameOperation::keptPayment() const {
  return runner_.paymentSet.input.get();
}

const interface::rtrn::Rtrn_Input* FrameOperation::keptReturn() const {
  return runner_.rtrnSet.input.get();
}

namespace {

// The text of a validation failure: the codes every family shares have one
// text each, any other code the operation's own.
std::string validation_text(const FrameOperation& op, int code) {
  switch (code) {
    case interface::WS_ERR_NO_CARD: return "Не указан номер карты";
    case interface::WS_ERR_CARD_TOO_LONG: return "Неверный формат номера карты";
    case interface::WS_ERR_NO_BLOCK: return kBadCommandText;
    default: return op.formatText();
  }
}

}  // namespace

std::string FrameOperation::requestText(const Json::Value& block) {
  (void)block;
  return input()->serialize();
}

int tavrelRunner::runFrame(FrameOperation& op, const Json::Value& block, Json::Value& reply) {
  const bool connect = op.isConnectionCheck();
  int result = -1;
  Json::Value local(Json::objectValue);
  set_text(local, "err", "-1");
  set_text(local, "errMsg", kNoLinkText);

  if (connect) opOffline = false;
  if (wsCtx == nullptr) {
    if (connect) return 18;
    set_text(local, "err", "18");
    set_text(local, "errMsg", "Не задан базовый компонент управления");
    reply = local;
    return 18;
  }
  if (!connect) {
    tavrelCardInfo* current = ensureCard();
    if (current == nullptr) {
      set_text(local, "err", "8");
      set_text(local, "errMsg", "Ошибка выделения памяти");
      reply = local;
      return 8;
    }
    op.onCardRecord(*current);
  }
  opOffline = false;
  online = false;

  PrivateContextPtr ctx(wsctx_copy(wsCtx));
  if (!ctx) {
    runner_log(op.busyText());
    if (connect) return 18;
    set_text(local, "err", "18");
    set_text(local, "errMsg", op.busyText());
    reply = local;
    return 18;
  }
  const char* endpoint = wsctx_endpoint(ctx.get());
  if (endpoint == nullptr || *endpoint == '\0') {
    if (connect) {
      runner_log("Не задан URL для инициализации проверки соединения");
      return 20;
    }
    set_text(local, "err", "20");
    set_text(local, "errMsg", kNoUrlText);
    reply = local;
    runner_log(kNoUrlText);
    return 20;
  }
  runner_log(op.openingText() + endpoint + " )");
  int refused = op.preconditions(local);
  if (refused != 0) {
    reply = local;
    return refused;
  }
  op.beforeLoop();
  wsctx_reset_counter(ctx.get());

  while (!wsctx_outof_retries(ctx.get())) {
    op.clearSet();
    const int n = wsctx_attempt(ctx.get());
    if (n > 0) sleep(1);
    runner_log("Попытка :[" + n2str(n + 1) + "/" + n2str(wsctx_max_attempts(ctx.get())) + "]");
    op.createSet(ctx.get());

    if (!connect) {
      if (interface::ProductCodeInput* products = op.productInput()) {
        products->zero_fill = isProductZeroFilled();
        products->id_length = static_cast<unsigned>(getProductIdLenght());
      }
      std::string text;
      int code = op.readRequest(block);
      if (code != 0) {
        text = validation_text(op, code);
      } else {
        code = op.copyRequest(&text);
      }
      if (code != 0) {
        set_text(local, "err", n2str(code));
        set_text(local, "errMsg", text);
        result = code;
        runner_log(text, true);
        break;
      }
    }
    op.prepare(block);
    interface::InputInterfaces* in = op.input();
    in->request_text = op.requestText(block);
    if (debug) runner_log("DEBUG : ON POST SEND => " + in->request_text);

    result = 22;
    result = op.callProxy();
    interface::OutputInterfaces* out = op.output();
    if (debug) {
      runner_log(op.debugRecvPrefix() + out->response_text);
      runner_log("DEBUG : RETURN RESULT = " + n2str(result));
    }

    if (result == 0) {
      // The answer decides: an earlier attempt that failed does not leave
      // the POS believing the operation went offline.
      local.removeMember("Offline");
      connected = true;
      online = true;
      netStatus = 1;
      set_text(local, "err", "0");
      set_text(local, "errMsg", "");
      set_text(local, "errInfo", "");
      bool more = true;
      if (!out->err.empty()) {
        // A code too big for a number is still a refusal, and the reply
        // carries its own digits (see readCentreCode).
        std::string centreCode;
        int kind = interface::readCentreCode(out->err, &centreCode);
        // The connection check counts a code without digits as 0.
        if (connect && kind == interface::CENTRE_NO_CODE) {
          kind = interface::CENTRE_SUCCESS;
          centreCode = "0";
        }
        if (kind == interface::CENTRE_SUCCESS) {
          set_text(local, "err", centreCode);
          set_text(local, "errMsg", "Успешное выполнение операции");
          if (connect) more = false;
        } else if (kind == interface::CENTRE_REFUSAL) {
          set_text(local, "err", centreCode);
          online = false;
          set_text(local, "Offline", "1");
        }
      }
      if (more) {
        if (!out->errmsg.empty()) set_text(local, "errMsg", out->errmsg);
        const char* buff = wsctx_buff(ctx.get());
        set_text(local, "errInfo", buff ? buff : "");
        if (!out->message.empty()) set_text(local, "InfoMsg", out->message);
        op.addAnswerMembers(local);
      }
      break;
    }

    online = false;
    set_text(local, "Offline", "1");
    set_text(local, "err", n2str(result));
    if (result == -1 || result == 22) {
      set_text(local, "errMsg", "Нет связи");
      netStatus = 0;
      op.addNoLinkMembers(local);
    }
    if (const char* buff = wsctx_buff(ctx.get())) set_text(local, "errInfo", buff);
    // A call that consumed no attempt would repeat for ever.
    if (wsctx_attempt(ctx.get()) == n) break;
  }

  reply = std::move(local);
  if (op.code() != CMD_CONNECT) setLastCommand(op.code());
  op.afterLoop(reply, result);
  op.releaseAfterLoop();
  return result;
}
