// Board-file section `csr`: the CPU socket topology and CSR cache fields of the SiliconContext. The PEI
// platform takes them from the board; the DXE platform has no use for them.
#include <cstdio>
#include <string>

#include "sim/board/board_sections.h"
#include "sim/common/hex_text.h"

namespace sim {

namespace {

constexpr size_t kRows = 2;  // socket rows of the topology block
constexpr size_t kCsrStacks = 6;
constexpr size_t kSegments = 8;  // MMCFG word pairs of the SiliconContext

void ParseStackBus(const YAML::Node& rows, const BoardFileContext& c, BoardCsr& csr) {
  c.RequireSequence(rows, "csr.stack_bus");
  if (rows.size() > kRows) {
    c.Fail(rows, "csr.stack_bus", std::to_string(rows.size()) + " socket rows given",
           "describe sockets 0 and 1 only: the topology block holds two rows");
  }
  for (size_t s = 0; s < rows.size(); ++s) {
    const std::string field = "csr.stack_bus[" + std::to_string(s) + "]";
    c.RequireSequence(rows[s], field);
    if (rows[s].size() != kCsrStacks) {
      c.Fail(rows[s], field, std::to_string(rows[s].size()) + " buses given", "list 6 bus numbers, stacks 0..5");
    }
    std::array<uint8_t, kCsrStacks> row{};
    for (size_t k = 0; k < kCsrStacks; ++k) {
      row[k] = static_cast<uint8_t>(c.Unsigned(rows[s][k], field + "[" + std::to_string(k) + "]", 0xFF));
    }
    csr.stack_bus.push_back(row);
  }
}

}  // namespace

void ParseCsrSection(const YAML::Node& node, const BoardFileContext& c, Board& board) {
  c.RequireMap(node, "csr",
               {"stack_bus", "cpu_type", "cpu_socket_map", "fpga_socket_map", "instances_per_device", "mmcfg_base",
                "cache_enable"});
  BoardCsr csr;
  if (node["stack_bus"]) ParseStackBus(node["stack_bus"], c, csr);
  if (node["cpu_type"]) csr.cpu_type = static_cast<uint8_t>(c.Unsigned(node["cpu_type"], "csr.cpu_type", 0xFF));
  if (node["cpu_socket_map"]) {
    csr.cpu_socket_map = static_cast<uint32_t>(c.Unsigned(node["cpu_socket_map"], "csr.cpu_socket_map", 0xFFFFFFFF));
  }
  if (node["fpga_socket_map"]) {
    csr.fpga_socket_map = static_cast<uint32_t>(c.Unsigned(node["fpga_socket_map"], "csr.fpga_socket_map", 0xFFFFFFFF));
  }
  if (const YAML::Node d = node["instances_per_device"]) {
    csr.instances_per_device = static_cast<uint8_t>(c.Unsigned(d, "csr.instances_per_device", 0xFF));
    if (csr.instances_per_device == 0) {
      c.Fail(d, "csr.instances_per_device", "0 instances per device", "give the instances per device, 1 or more");
    }
  }
  if (const YAML::Node bases = node["mmcfg_base"]) {
    c.RequireSequence(bases, "csr.mmcfg_base");
    if (bases.size() > kSegments) {
      c.Fail(bases, "csr.mmcfg_base", std::to_string(bases.size()) + " segments given",
             "list at most 8 bases, segments 0..7");
    }
    for (size_t s = 0; s < bases.size(); ++s) {
      csr.mmcfg_base.push_back(
          static_cast<uint32_t>(c.Unsigned(bases[s], "csr.mmcfg_base[" + std::to_string(s) + "]", 0xFFFFFFFF)));
    }
  }
  if (node["cache_enable"]) csr.cache_enable = c.Boolean(node["cache_enable"], "csr.cache_enable");

  if (csr.stack_bus.size() > 1 && csr.stack_bus[1][4] != csr.cpu_type) {
    c.Fail(node["stack_bus"][1][4], "csr.stack_bus[1][4]",
           "socket 1 stack 4 bus " + Hex(csr.stack_bus[1][4]) + " differs from cpu_type " +
               std::to_string(csr.cpu_type) + ", which shares its byte",
           "make the two equal");
  }
  const uint32_t rows = (1u << csr.stack_bus.size()) - 1;
  for (const char* key : {"cpu_socket_map", "fpga_socket_map"}) {
    const uint32_t map = std::string(key) == "cpu_socket_map" ? csr.cpu_socket_map : csr.fpga_socket_map;
    if ((map & ~rows) != 0) {
      c.Fail(node[key], std::string("csr.") + key, "names a socket without a stack_bus row",
             "add the socket's row to csr.stack_bus or clear its bit");
    }
  }
  board.csr = csr;
}

}  // namespace sim
