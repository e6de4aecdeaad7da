#include "runner/journalled_operation.h"

#include "runner/card_info.h"
#include "runner/runner.h"
#include "storage/operation_key.h"
#include "util/convert.h"

interface::JournalledInput* JournalledOperation::request() {
  return dynamic_cast<interface::JournalledInput*>(input());
}

void JournalledOperation::completeCard(interface::ui_LOYMember& member) {
  const tavrelCardInfo& kept = *card();
  if (member.cardnum.empty() && kept.getCardNum()) member.cardnum = kept.getCardNum();
  if (member.qr_code.empty() && kept.getQRCode()) member.qr_code = kept.getQRCode();
  if (member.qr_type.empty() && kept.getQRType()) member.qr_type = kept.getQRType();
  if (member.qr_type.empty()) member.qr_type = member.qr_code.empty() ? "mf" : "qr";
}

void JournalledOperation::setKeys(storage::TransactDB& record,
                                  const interface::JournalledInput& in) {
  (void)in;
  record.ID(storage::ChequeKey(record.DateTime(), record.ChequeID(), code()));
}

storage::TransactDB JournalledOperation::describe(interface::JournalledInput& in) {
  tavrelCardInfo& kept = *card();
  storage::TransactDB record;
  record.OperType(code());
  record.Offline(in.offline);
  if (chequeNumberSource() == CHEQUE_FROM_ORDER) {
    if (in.hasOrder()) kept.setChequeNum(in.getChequeNum());
  } else if (in.hasTransaction()) {
    kept.setChequeNum(in.getTransactionId());
  }
  if (in.hasOrder()) record.ChequeID(in.getChequeNum());
  if (in.hasTransaction()) {
    // The configured station and terminal stand in for the register's own
    // and reach the centre too.
    if (in.getLocation() == nullptr) in.completeLocation(runner().getLocation());
    if (in.getTerminal() == nullptr) in.completeTerminal(runner().getTerminal());
    record.DateTime(in.getDateTime());
    record.LocationID(in.getLocation());
    record.Shift(in.getShift());
    record.ShiftDate(in.getShiftDate());
    record.TerminalID(in.getTerminal());
  }
  record.OrderUUID(in.getOrderUuid());
  record.ChequeRownum(in.getCheckRownum());
  setKeys(record, in);
  return record;
}

void JournalledOperation::prepare(const Json::Value& block) {
  interface::JournalledInput* in = request();
  if (in == nullptr) return;
  if (!runner().NetStatus()) in->offline = true;
  markOffline(in->offline);
  if (completesCardFromRecord() && in->member) completeCard(*in->member);

  const storage::TransactDB record = describe(*in);
  tavrelCardInfo& kept = *card();
  kept.TransactDB_new(&record);
  kept.saveQueryBuf(block, nullptr);
  runner_log("Сохранение запроса в БД");
  // A failed insert does not stop the operation; the reply is journalled
  // against the row if there is one.
  runner().Storage()->InsRequest(kept.TransactDB(), block);
  wroteRow_ = true;
}

void JournalledOperation::afterLoop(const Json::Value& reply, int result) {
  runner_log("Сохранение ответа на запрос в БД");
  storage::TransactDB* record = wroteRow_ ? card()->TransactDB() : nullptr;
  const int saved = runner().Storage()->UpdRespond(record, reply, result);
  runner_log("Статус сохранения : " + n2str(saved));
}
