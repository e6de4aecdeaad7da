#include "service/commands.h"

namespace {

struct CommandWord {
  const char* word;
  CmdCodes code;
};

const CommandWord kWords[] = {
    {"Connect", CMD_CONNECT}, {"CardInfo", CMD_CARD_INFO}, {"PayBonus", CMD_PAY_BONUS},
    {"PayReturn", CMD_PAY_RETURN}, {"Commit", CMD_COMMIT}, {"Undo", CMD_UNDO},
    {"Flush", CMD_FLUSH}, {"End", CMD_END}, {"SyncTask", CMD_SYNC_TASK},
};

}  // namespace

CmdCodes getCmdCode(const std::string& word) {
  for (const CommandWord& w : kWords) {
    if (word == w.word) return w.code;
  }
  return CMD_UNKNOWN;
}
