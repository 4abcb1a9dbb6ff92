// Invariant checks of the harnesses: a breach prints what was expected and aborts, which libFuzzer reports
// as a finding (with the input saved) and which fails the corpus replay test.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

[[noreturn]] inline void Breach(const char* file, int line, const std::string& what) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace fuzz

#define FUZZ_REQUIRE(condition, what)                                                              \
  do {                                                                                             \
    if (!(condition)) ::fuzz::Breach(__FILE__, __LINE__, std::string(#condition) + ": " + (what)); \
  } while (0)
