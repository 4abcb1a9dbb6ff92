// Parsing the emulator's executed-block files.
#include "tools/image_coverage/blocks_file.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "firmware/pe/text_fields.h"

namespace image_coverage {
namespace {

// "0x" and 1 to 8 hex digits.
std::optional<uint32_t> ParseHex32(const std::string& word) {
  if (word.size() < 3 || word.size() > 10 || word[0] != '0' || (word[1] != 'x' && word[1] != 'X')) {
    return std::nullopt;
  }
  const std::optional<uint64_t> value = pe::ParseHex(word.substr(2));
  if (!value) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(*value);
}

}  // namespace

BlocksFileResult ParseBlocksFile(const std::string& text, const std::string& name) {
  auto fail = [&](size_t line, const std::string& problem) {
    return BlocksFileResult{std::nullopt, name + ":" + std::to_string(line) + ": " + problem};
  };
  std::istringstream in(text);
  BlocksFile file;
  size_t number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    std::vector<std::string> words = pe::Words(line);
    if (number == 1) {
      if (words.size() != 3 || words[0] != "#" || words[1] != "image") {
        return fail(number, "the first line is not \"# image STEM\"");
      }
      file.stem = words[2];
      continue;
    }
    if (words.size() != 2) {
      return fail(number, "\"" + line + "\" is not \"0xRVA 0xSIZE\"");
    }
    std::optional<uint32_t> rva = ParseHex32(words[0]);
    std::optional<uint32_t> size = ParseHex32(words[1]);
    if (!rva) {
      return fail(number, "start \"" + words[0] + "\" is not a 32-bit hex number with 0x");
    }
    if (!size) {
      return fail(number, "size \"" + words[1] + "\" is not a 32-bit hex number with 0x");
    }
    if (static_cast<uint64_t>(*rva) + *size > UINT32_MAX + uint64_t{1}) {
      return fail(number, "range " + words[0] + "+" + words[1] + " runs past 4 GiB");
    }
    file.ranges.push_back(ExecutedRange{*rva, *size});
  }
  if (number == 0) {
    return fail(1, "empty file: no \"# image STEM\" line");
  }
  return {std::move(file), ""};
}

BlocksFileResult ReadBlocksFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return {std::nullopt, path + ": cannot be read"};
  }
  std::ostringstream text;
  text << in.rdbuf();
  return ParseBlocksFile(text.str(), path);
}

std::vector<std::string> BlocksFilesIn(const std::string& directory, const std::string& stem) {
  std::vector<std::string> paths;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    std::string name = entry.path().filename().string();
    const std::string suffix = ".blocks";
    if (entry.is_regular_file() && name.size() > stem.size() + 1 + suffix.size() &&
        name.compare(0, stem.size() + 1, stem + ".") == 0 &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      paths.push_back(entry.path().string());
    }
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

CollectedRanges CollectRanges(const std::vector<std::string>& inputs, const std::string& stem) {
  std::vector<std::string> files;
  for (const std::string& input : inputs) {
    if (std::filesystem::is_directory(input)) {
      for (const std::string& file : BlocksFilesIn(input, stem)) {
        files.push_back(file);
      }
    } else {
      files.push_back(input);
    }
  }
  CollectedRanges collected;
  for (const std::string& file : files) {
    BlocksFileResult read = ReadBlocksFile(file);
    if (!read.value) {
      collected.error = read.error;
      return collected;
    }
    if (read.value->stem != stem) {
      collected.error = file + ":1: the ranges are of image " + read.value->stem + ", not " + stem;
      return collected;
    }
    collected.ranges.insert(collected.ranges.end(), read.value->ranges.begin(), read.value->ranges.end());
    ++collected.files;
  }
  return collected;
}

}  // namespace image_coverage
