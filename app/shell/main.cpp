// The program's entry: `truvane --version` prints the version; anything else runs the
// application (on the off-screen platform when no display is set).
#include <cstdio>
#include <cstring>

#include "app/shell/startup.h"

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("Truvane 0.1\n");
    return 0;
  }
  return shell::AppMain(argc, argv);
}
