#include "sim_drop.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>

namespace sim {

namespace {

int port_of(const sockaddr_storage& addr) {
  if (addr.ss_family == AF_INET) {
    return ntohs(reinterpret_cast<const sockaddr_in&>(addr).sin_port);
  }
  if (addr.ss_family == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6&>(addr).sin6_port);
  }
  return -1;
}

bool carries(int fd, int local_port, int remote_port) {
  sockaddr_storage local{}, peer{};
  socklen_t len = sizeof local;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) != 0) return false;
  len = sizeof peer;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) != 0) return false;
  return port_of(local) == local_port && port_of(peer) == remote_port;
}

int find_socket(const httplib::Request& req) {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  int found = -1;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    int fd = std::atoi(entry->d_name);
    if (fd != dirfd(dir) && carries(fd, req.local_port, req.remote_port)) {
      found = fd;
      break;
    }
  }
  closedir(dir);
  return found;
}

}  // namespace

bool dropConnection(const httplib::Request& req) {
  int fd = find_socket(req);
  if (fd < 0) return false;
  return shutdown(fd, SHUT_RDWR) == 0;
}

}  // namespace sim
