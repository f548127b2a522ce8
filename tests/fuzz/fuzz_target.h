#pragma once
// The entry point every fuzz target defines. The same source builds two ways: linked
// with libFuzzer (clang, -fsanitize=fuzzer) it is driven by the fuzzer; linked with
// replay_main.cpp it reads the files of its corpus and runs each once, which is how the
// ordinary build keeps every input that once crashed a reader from crashing it again.
//
// A target returns 0 and may abort (TRUVANE_FUZZ_CHECK) when a reader breaks a promise
// its header makes; a crash, a leak or undefined behaviour is caught by the sanitizers.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Inputs are the reader's bytes exactly as they arrive from outside, so that a failing
// input from anywhere can go into the corpus as it is. Readers that take bytes as they
// come are run twice: on the whole input at once, and on it cut into 7-byte pieces.
inline constexpr std::size_t kWholeInput = static_cast<std::size_t>(-1);
inline constexpr std::size_t kPieceSizes[] = {kWholeInput, 7};

}  // namespace fuzz

// Fails loudly in both builds (assert would vanish under NDEBUG).
#define TRUVANE_FUZZ_CHECK(condition)                                                    \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)
