// A board-file section: the top-level key, its parser (YAML -> Board) and its applier (Board -> platform).
// Each section lives in its own file sim/board/<key>_section.cpp; the loader's table lists them.
#pragma once
#include <yaml-cpp/yaml.h>

#include <span>

#include "sim/board/board.h"
#include "sim/board/board_file_context.h"

namespace sim {

class DxePlatform;

struct BoardSection {
  const char* key;
  // Fills the board from the section's node (field paths in messages start with `key`).
  void (*parse)(const YAML::Node& node, const BoardFileContext& context, Board& board);
  // Puts the section's part of the board into the platform (may be null).
  void (*apply)(const Board& board, DxePlatform& platform);
};

// The sections, in the order they are parsed and applied (faults last: counting starts at driver entry).
std::span<const BoardSection> BoardSections();

// A PCI location field, `BB:DD.F` or `SSSS:BB:DD.F` in hex (shared by the `pci` and `faults` sections).
PciLocation ParsePciLocation(const YAML::Node& node, const BoardFileContext& context, const std::string& field);

}  // namespace sim
