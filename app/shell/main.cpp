// Start-up of the application comes with the shell; until then the program only
// reports what it is, so that the build and the README's run command can be checked.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("Truvane 0.1\n");
    return 0;
  }
  std::printf("Truvane 0.1: the download engine is not built yet.\n");
  return 0;
}
