// The POS command words and their codes. The same numbers are the runner's
// last command and the journal's operation types.
#ifndef NORVALEN_SERVICE_COMMANDS_H_
#define NORVALEN_SERVICE_COMMANDS_H_

#include <string>

enum CmdCodes {
  CMD_UNKNOWN = -1,
  CMD_CONNECT = 1,
  CMD_CARD_INFO = 2,
  CMD_PAY_BONUS = 3,
  CMD_PAY_RETURN = 4,
  CMD_COMMIT = 7,
  CMD_UNDO = 8,
  CMD_FLUSH = 9,
  CMD_END = 10,
  CMD_SYNC_TASK = 11,
};

// Exact, case-sensitive; an empty or unknown word gives CMD_UNKNOWN.
CmdCodes getCmdCode(const std::string& word);

#endif  // NORVALEN_SERVICE_COMMANDS_H_
