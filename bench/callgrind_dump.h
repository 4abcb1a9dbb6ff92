// Reads the instruction total of one of callgrind's own dumps (CALLGRIND_DUMP_STATS_AT writes
// callgrind.out.<pid>.<part> into the working directory).
#pragma once
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace bench {

// The total of dump number part of this process, or 0 when the dump is not there.
inline unsigned long long CallgrindDumpTotal(int part) {
  std::ifstream in("callgrind.out." + std::to_string(getpid()) + "." + std::to_string(part));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("summary: ", 0) == 0 || line.rfind("totals: ", 0) == 0) {
      return std::strtoull(line.c_str() + line.find(' ') + 1, nullptr, 10);
    }
  }
  return 0;
}

}  // namespace bench
