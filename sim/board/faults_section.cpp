// Board-file section `faults`: allocation failures and protocols the board does not offer.
#include "sim/board/board_sections.h"
#include "sim/dxe/dxe_platform.h"
#include "sim/dxe/protocol_names.h"

namespace sim {

void ParseFaultsSection(const YAML::Node& node, const BoardFileContext& c, Board& board) {
  c.RequireMap(node, "faults", {"fail_allocation", "fail_allocations_from", "absent_protocols"});
  if (const YAML::Node n = node["fail_allocation"]) {
    board.faults.fail_allocation = c.Unsigned(n, "faults.fail_allocation", UINT64_MAX);
    if (*board.faults.fail_allocation == 0) {
      c.Fail(n, "faults.fail_allocation", "allocation 0 does not exist", "count allocations from 1");
    }
  }
  if (const YAML::Node n = node["fail_allocations_from"]) {
    board.faults.fail_allocations_from = c.Unsigned(n, "faults.fail_allocations_from", UINT64_MAX);
    if (*board.faults.fail_allocations_from == 0) {
      c.Fail(n, "faults.fail_allocations_from", "allocation 0 does not exist", "count allocations from 1");
    }
  }
  if (const YAML::Node list = node["absent_protocols"]) {
    c.RequireSequence(list, "faults.absent_protocols");
    std::string names;
    for (const ProtocolName& p : KnownProtocols()) names += std::string(names.empty() ? "" : ", ") + p.name;
    for (size_t i = 0; i < list.size(); ++i) {
      const std::string field = "faults.absent_protocols[" + std::to_string(i) + "]";
      const std::string name = c.String(list[i], field);
      if (!ProtocolGuidByName(name)) c.Fail(list[i], field, "unknown protocol `" + name + "`", "use one of: " + names);
      board.faults.absent_protocols.push_back(name);
    }
  }
}

void ApplyFaultsSection(const Board& board, DxePlatform& platform) {
  for (const std::string& name : board.faults.absent_protocols) {
    if (auto guid = ProtocolGuidByName(name)) platform.MarkProtocolAbsent(*guid);
  }
  if (board.faults.fail_allocation) platform.FailAllocation(*board.faults.fail_allocation);
  if (board.faults.fail_allocations_from) platform.FailAllocationsFrom(*board.faults.fail_allocations_from);
}

}  // namespace sim
