// Board-file section `faults`: allocation failures, protocols the board does not offer, and PCI I/O reads
// that fail.
#include <algorithm>

#include "sim/board/board_sections.h"
#include "sim/dxe/dxe_platform.h"
#include "sim/dxe/protocol_names.h"

namespace sim {

void ParseFaultsSection(const YAML::Node& node, const BoardFileContext& c, Board& board) {
  c.RequireMap(node, "faults", {"fail_allocation", "fail_allocations_from", "absent_protocols", "fail_pci_io_reads"});
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
  if (const YAML::Node list = node["fail_pci_io_reads"]) {
    c.RequireSequence(list, "faults.fail_pci_io_reads");
    for (size_t i = 0; i < list.size(); ++i) {
      const std::string field = "faults.fail_pci_io_reads[" + std::to_string(i) + "]";
      const YAML::Node entry = list[i];
      c.RequireMap(entry, field, {"at", "offsets"});
      if (!entry["at"]) c.Fail(entry, field + ".at", "missing", "name the function: `at: BB:DD.F`");
      BoardPciIoReadFailure failure;
      failure.at = ParsePciLocation(entry["at"], c, field + ".at");
      const bool known = std::any_of(board.pci.begin(), board.pci.end(),
                                     [&](const PciFunctionSpec& f) { return f.location == failure.at; });
      if (!known) {
        c.Fail(entry["at"], field + ".at", "no function at " + ToString(failure.at) + " in pci.functions",
               "name a function of the `pci` section");
      }
      if (const YAML::Node offsets = entry["offsets"]) {
        c.RequireSequence(offsets, field + ".offsets");
        for (size_t k = 0; k < offsets.size(); ++k) {
          failure.offsets.push_back(
              static_cast<uint16_t>(c.Unsigned(offsets[k], field + ".offsets[" + std::to_string(k) + "]", 0xFFF)));
        }
      }
      board.faults.fail_pci_io_reads.push_back(failure);
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
