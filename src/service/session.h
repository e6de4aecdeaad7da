// The client session: one POS connection on its own thread. It cuts the
// stream into requests, checks each envelope, runs the commands of the
// request block in byte order of their names under the operation lock, and
// sends one line of compact JSON after every command but End.
#ifndef NORVALEN_SERVICE_SESSION_H_
#define NORVALEN_SERVICE_SESSION_H_

#include <functional>
#include <memory>
#include <string>

#include <json/json.h>

class tavrelRunner;
class TCPSocket;

// Sends one reply line; throws SocketException when the POS has gone.
using ReplySender = std::function<void(const std::string& line)>;

// Handles one request text. Returns true when it held End, after which the
// session closes the connection. Never throws except from `send`.
bool processRequest(tavrelRunner& runner, const std::string& text, unsigned long threadId,
                    const ReplySender& send);

// Runs `work` (the runner work of one command) under the operation lock.
// A failure that escapes it answers `slot` with "err" "-1" and "errMsg"
// "Отсутствует соединение" and is written to both logs; the lock is
// released whatever happens, so the other sessions go on.
void runUnderLock(const std::function<void()>& work, Json::Value& slot);

// The envelope error reply, never wrapped in the root member.
Json::Value errorReply(const char* err, const char* errMsg);

// Hands an accepted connection to a session thread of its own; when no
// thread can be started the connection is closed and the failure logged.
void admitClient(std::unique_ptr<TCPSocket> client);

// Thread function: takes ownership of the accepted TCPSocket* `socket`,
// detaches itself, serves the connection and frees the socket.
void* HandleTcpClient(void* socket);

#endif  // NORVALEN_SERVICE_SESSION_H_
