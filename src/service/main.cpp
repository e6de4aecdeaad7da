#include "service/startup.h"

int main(int argc, char** argv) { return serviceMain(argc, argv); }
