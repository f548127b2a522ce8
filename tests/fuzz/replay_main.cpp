// Runs a fuzz target once on every file of the folders and files named on the command
// line (its corpus), without libFuzzer: the normal build's regression check.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_target.h"

namespace {

bool ReadAll(const std::filesystem::path& path, std::vector<std::uint8_t>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    std::error_code ec;
    if (std::filesystem::is_directory(arg, ec)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(arg)) {
        if (entry.is_regular_file()) inputs.push_back(entry.path());
      }
    } else {
      inputs.push_back(arg);
    }
  }
  // A fixed order makes a failure name the same input on every run.
  std::sort(inputs.begin(), inputs.end());
  if (inputs.empty()) {
    std::fprintf(stderr, "no corpus inputs given\n");
    return 2;
  }
  std::vector<std::uint8_t> bytes;
  for (const auto& path : inputs) {
    if (!ReadAll(path, bytes)) {
      std::fprintf(stderr, "cannot read %s\n", path.c_str());
      return 2;
    }
    // Printed before the run, so that the input that crashes is the last line shown.
    std::fprintf(stderr, "%s\n", path.c_str());
    std::fflush(stderr);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("replayed %zu inputs\n", inputs.size());
  return 0;
}
