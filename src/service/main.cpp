#include "service/daemon.h"
#include "service/startup.h"

// The runner has been ended on every way out of serviceMain.
int main(int argc, char** argv) { endProcess(serviceMain(argc, argv)); }
