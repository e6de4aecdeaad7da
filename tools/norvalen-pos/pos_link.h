// PosLink: the tool's connection to the daemon, with reply lines read under
// a time limit.
#ifndef NORVALEN_POS_POS_LINK_H_
#define NORVALEN_POS_POS_LINK_H_

#include <memory>
#include <string>

#include "socket/socket.h"

class PosLink {
 public:
  enum ReadResult { kLine, kTimedOut, kClosed };

  // Connects to `host`:`port` (IPv4), waiting at most `timeoutMs`. Returns
  // 0, or -1 with a one-line reason in `error`.
  int open(const std::string& host, unsigned short port, int timeoutMs, std::string* error);
  bool isOpen() const { return socket_ != nullptr; }
  void close();

  // Sends the whole request; false (reason in `error`) when the connection
  // fails.
  bool send(const std::string& request, std::string* error);

  // The next reply line, without its "\n", waiting at most `timeoutMs` for
  // it. kClosed when the connection ends or fails first; `line` then holds
  // the bytes of an unfinished line, if any.
  ReadResult readLine(int timeoutMs, std::string* line);

 private:
  std::unique_ptr<TCPSocket> socket_;
  std::string pending_;  // received bytes after the last whole line
};

#endif  // NORVALEN_POS_POS_LINK_H_
