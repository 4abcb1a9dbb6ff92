// Helpers for the section parsers of the board-file loader: typed reads of YAML values that throw
// BoardFileError with the file, line, field path and fix.
#pragma once
#include <yaml-cpp/yaml.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "sim/board/board_file.h"
#include "uefi/guid.h"

namespace sim {

class BoardFileContext {
 public:
  explicit BoardFileContext(std::string file) : file_(std::move(file)) {}
  const std::string& File() const { return file_; }

  // Throws BoardFileError at the node's line.
  [[noreturn]] void Fail(const YAML::Node& node, const std::string& field, const std::string& problem,
                         const std::string& fix) const;
  // "FILE:LINE" of a node.
  std::string Origin(const YAML::Node& node) const;

  // The node must be a mapping whose keys are all in `allowed` (else: unknown key, listing the allowed ones).
  void RequireMap(const YAML::Node& node, const std::string& field, std::initializer_list<const char*> allowed) const;
  void RequireSequence(const YAML::Node& node, const std::string& field) const;
  // Unsigned integer (decimal or 0x hex) no larger than max.
  uint64_t Unsigned(const YAML::Node& node, const std::string& field, uint64_t max) const;
  bool Boolean(const YAML::Node& node, const std::string& field) const;
  std::string String(const YAML::Node& node, const std::string& field) const;
  // Hex bytes: "00 1f a0", "001fa0" or a sequence of numbers 0..255.
  std::vector<uint8_t> HexBytes(const YAML::Node& node, const std::string& field) const;
  // GUID in registry format 8-4-4-4-12.
  EFI_GUID Guid(const YAML::Node& node, const std::string& field) const;

 private:
  std::string file_;
};

}  // namespace sim
