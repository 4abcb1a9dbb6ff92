// An image's code as static basic blocks: the PE image and its link map read, every function of its code
// sections disassembled for the image's machine type.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/image_coverage/basic_blocks.h"

namespace image_coverage {

struct ImageBlocks {
  std::string stem;  // the image file's name without directory and extension
  uint16_t machine = 0;
  uint32_t entry_point_rva = 0;
  std::vector<FunctionBlocks> functions;  // ascending by address

  size_t BlockCount() const;
  // The function holding rva, or null.
  const FunctionBlocks* FunctionAt(uint32_t rva) const;
};

struct ImageBlocksResult {
  std::optional<ImageBlocks> value;
  std::string error;  // set when value is empty
};

// The image's file stem: "dir/platform_smbios_driver.efi" -> "platform_smbios_driver".
std::string ImageStem(const std::string& path);

// Reads the image and its map (the image's path with the extension replaced by ".map" when map_path is empty).
ImageBlocksResult ReadImageBlocks(const std::string& image_path, const std::string& map_path);

// The same from bytes already read; stem names the image in the report.
ImageBlocksResult DescribeImageBlocks(const std::string& stem, std::span<const uint8_t> image_bytes,
                                      const std::string& map_text);

}  // namespace image_coverage
