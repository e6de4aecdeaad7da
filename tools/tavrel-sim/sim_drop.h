// Dropping a connection without answering. The HTTP library hands a handler
// the request but not its socket, so the socket is found by its addresses:
// the one whose local and peer ports are those of the request.
#ifndef TAVREL_SIM_SIM_DROP_H_
#define TAVREL_SIM_SIM_DROP_H_

#include <httplib.h>

namespace sim {

// Shuts the connection of `req` down in both directions: the client sees it
// end before any byte of a response, and whatever the library writes after
// is lost. False when the socket was not found.
bool dropConnection(const httplib::Request& req);

}  // namespace sim

#endif  // TAVREL_SIM_SIM_DROP_H_
