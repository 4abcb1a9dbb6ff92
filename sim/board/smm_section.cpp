// Board-file section `smm`: the SMM Base2 protocol, and whether the driver runs inside SMM.
//
//   smm:
//     in_smm: false
#include "sim/board/board_sections.h"
#include "sim/dxe/dxe_platform.h"
#include "sim/dxe/smm.h"

namespace sim {

void ParseSmmSection(const YAML::Node& node, const BoardFileContext& c, Board& board) {
  c.RequireMap(node, "smm", {"in_smm"});
  BoardSmm smm;
  if (node["in_smm"]) smm.in_smm = c.Boolean(node["in_smm"], "smm.in_smm");
  board.smm = smm;
}

void ApplySmmSection(const Board& board, DxePlatform& platform) {
  if (board.smm) InstallSmm(platform, board.smm->in_smm);
}

}  // namespace sim
