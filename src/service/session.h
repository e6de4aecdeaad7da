// The client session: one POS connection on its own thread. It cuts the
// stream into requests, checks each envelope, runs the commands of the
// request block in byte order of their names under the operation lock, and
// sends one line of compact JSON after every command but End.
//
// What one connection may cost, whatever the POS sends:
//  - It receives in chunks of kReceiveChunk bytes into a buffer on its own
//    stack (default thread stack size), so an idle connection holds no
//    request buffer; what it holds beyond that is what the framer holds open,
//    at most RequestFramer::kMaxRequest (see request_framer.h).
//  - With nothing open it waits for bytes without a time limit: a POS may
//    keep its connection open all day. While the framer holds something
//    open, it waits at most RequestFramer::kQuietTimeMs and then answers an
//    unfinished request with the format error and goes on.
//  - A request block of more than kMaxMembers members is refused whole with
//    the format error, so that a request of thousands of words cannot turn
//    into thousands of growing reply lines.
//  - At most kMaxSessions sessions are open at once; admitClient closes a
//    connection beyond that at once and says so in both logs.
#ifndef NORVALEN_SERVICE_SESSION_H_
#define NORVALEN_SERVICE_SESSION_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include <json/json.h>

class tavrelRunner;
class TCPSocket;

// Bytes taken from the connection by one receive.
constexpr std::size_t kReceiveChunk = 65536;
// The most members of one request block: more than any POS sends.
constexpr unsigned kMaxMembers = 64;
// The most sessions open at once.
constexpr int kMaxSessions = 128;

// Sends one reply line; throws SocketException when the POS has gone.
using ReplySender = std::function<void(const std::string& line)>;

// Handles one request text. Returns true when it held End, after which the
// session closes the connection. A request that does not parse, or whose
// block is not an object or has more than kMaxMembers members, gets one
// format error and runs nothing. Never throws except from `send`.
bool processRequest(tavrelRunner& runner, const std::string& text, unsigned long threadId,
                    const ReplySender& send);

// Runs `work` (the runner work of one command) under the operation lock.
// A failure that escapes it answers `slot` with "err" "-1" and "errMsg"
// "Отсутствует соединение" and is written to both logs; the lock is
// released whatever happens, so the other sessions go on.
void runUnderLock(const std::function<void()>& work, Json::Value& slot);

// The envelope error reply, never wrapped in the root member.
Json::Value errorReply(const char* err, const char* errMsg);

// Hands an accepted connection to a session thread of its own and counts
// it among the open sessions. When kMaxSessions are open already, or no
// thread can be started, the connection is closed at once and the refusal
// written to both logs.
void admitClient(std::unique_ptr<TCPSocket> client);

// Thread function started by admitClient: takes ownership of the accepted
// TCPSocket* `socket`, detaches itself, serves the connection, frees the
// socket, and gives back the place admitClient counted for it.
void* HandleTcpClient(void* socket);

#endif  // NORVALEN_SERVICE_SESSION_H_
