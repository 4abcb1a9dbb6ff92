// Runs a harness without libFuzzer: every file named on the command line, or found in a directory named
// there, is fed once to LLVMFuzzerTestOneInput. The normal test run replays the seed corpora this way.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::filesystem::path> InputsOf(const std::filesystem::path& path) {
  std::vector<std::filesystem::path> out;
  if (std::filesystem::is_directory(path)) {
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
      if (entry.is_regular_file()) out.push_back(entry.path());
    }
    std::sort(out.begin(), out.end());
  } else {
    out.push_back(path);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  size_t runs = 0;
  for (int i = 1; i < argc; ++i) {
    if (!std::filesystem::exists(argv[i])) {
      std::fprintf(stderr, "%s: no such file or directory\n", argv[i]);
      return 2;
    }
    for (const auto& file : InputsOf(argv[i])) {
      std::ifstream in(file, std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++runs;
    }
  }
  if (runs == 0) {
    std::fprintf(stderr, "no inputs replayed\n");
    return 2;
  }
  std::printf("%zu inputs replayed\n", runs);
  return 0;
}
