#include <unistd.h>

#include <cstdio>

#include "service/startup.h"

// The runner has been ended on every way out of serviceMain; ending without
// the static destructors keeps a stop that is under way on another thread
// from racing them.
int main(int argc, char** argv) {
  const int status = serviceMain(argc, argv);
  std::fflush(nullptr);
  _exit(status);
}
