// Reading an image and its map into static basic blocks.
#include "tools/image_coverage/image_blocks.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace image_coverage {

size_t ImageBlocks::BlockCount() const {
  size_t count = 0;
  for (const FunctionBlocks& function : functions) {
    count += function.blocks.size();
  }
  return count;
}

const FunctionBlocks* ImageBlocks::FunctionAt(uint32_t rva) const {
  auto it = std::upper_bound(functions.begin(), functions.end(), rva,
                             [](uint32_t value, const FunctionBlocks& f) { return value < f.function.rva; });
  if (it == functions.begin()) {
    return nullptr;
  }
  --it;
  return rva < it->function.end ? &*it : nullptr;
}

std::string ImageStem(const std::string& path) {
  std::string::size_type slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string::size_type dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

ImageBlocksResult DescribeImageBlocks(const std::string& stem, std::span<const uint8_t> image_bytes,
                                      const std::string& map_text) {
  pe::ReadResult read = pe::ReadImage(image_bytes);
  if (!read.Value) {
    return {std::nullopt, read.Error};
  }
  const pe::Image& image = *read.Value;
  CodeWidth width = CodeWidth::Bits64;
  if (image.Machine == pe::MachineI386) {
    width = CodeWidth::Bits32;
  } else if (image.Machine != pe::MachineAmd64) {
    return {std::nullopt, "machine type 0x" + [&] {
              std::ostringstream text;
              text << std::hex << image.Machine;
              return text.str();
            }() + " is neither IA-32 nor x86-64"};
  }
  std::vector<CodeFunction> functions = ListCodeFunctions(image, map_text);
  if (functions.empty()) {
    return {std::nullopt, "the map lists no symbol in the image's code (no load address line, or another image's map)"};
  }
  ImageBlocks code;
  code.stem = stem;
  code.machine = image.Machine;
  code.entry_point_rva = image.EntryPointRva;
  for (const CodeFunction& function : functions) {
    const pe::Section* section = image.SectionAt(function.rva);
    // ListCodeFunctions keeps only functions inside a section's content, which the reader checked against
    // the file.
    std::span<const uint8_t> bytes = image_bytes.subspan(section->RawOffset, SectionContentSize(*section));
    code.functions.push_back(FindBlocks(bytes, section->VirtualAddress, function, width));
  }
  return {std::move(code), ""};
}

ImageBlocksResult ReadImageBlocks(const std::string& image_path, const std::string& map_path) {
  std::string map_file = map_path;
  if (map_file.empty()) {
    std::string::size_type slash = image_path.find_last_of('/');
    std::string::size_type dot = image_path.find_last_of('.');
    map_file = (dot == std::string::npos || (slash != std::string::npos && dot < slash) ? image_path
                                                                                        : image_path.substr(0, dot)) +
               ".map";
  }
  std::ifstream image_in(image_path, std::ios::binary);
  if (!image_in) {
    return {std::nullopt, image_path + ": cannot be read"};
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(image_in)), std::istreambuf_iterator<char>());
  std::ifstream map_in(map_file);
  if (!map_in) {
    return {std::nullopt, map_file + ": cannot be read (the image's link map)"};
  }
  std::ostringstream map_text;
  map_text << map_in.rdbuf();
  ImageBlocksResult result = DescribeImageBlocks(ImageStem(image_path), bytes, map_text.str());
  if (!result.value) {
    result.error = image_path + ": " + result.error;
  }
  return result;
}

}  // namespace image_coverage
