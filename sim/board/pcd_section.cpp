// Board-file section `pcd`: the PCI Express configuration base (token 44), the socket/stack bus layout
// (token 30, structured or raw bytes) and the UUID timestamp (token 180).
#include "sim/board/board_sections.h"
#include "sim/dxe/dxe_platform.h"

namespace sim {

namespace {

constexpr size_t kLayoutSize = 72;
constexpr size_t kSockets = 8;
constexpr size_t kSocketStacks = 6;

std::vector<uint8_t> ParseLayout(const YAML::Node& node, const BoardFileContext& c, const std::string& field) {
  if (node.IsMap() && node["bytes"]) {
    c.RequireMap(node, field, {"bytes"});
    return c.HexBytes(node["bytes"], field + ".bytes");
  }
  c.RequireMap(node, field, {"valid", "socket_present_mask", "sockets", "bytes"});
  std::vector<uint8_t> layout(kLayoutSize, 0);
  if (node["valid"]) layout[0] = static_cast<uint8_t>(c.Unsigned(node["valid"], field + ".valid", 0xFF));
  if (node["socket_present_mask"]) {
    const auto mask = c.Unsigned(node["socket_present_mask"], field + ".socket_present_mask", 0xFFFFFFFF);
    for (int i = 0; i < 4; ++i) layout[4 + i] = static_cast<uint8_t>(mask >> (8 * i));
  }
  if (const YAML::Node sockets = node["sockets"]) {
    const std::string sf = field + ".sockets";
    c.RequireSequence(sockets, sf);
    std::vector<bool> given(kSockets, false);
    for (size_t i = 0; i < sockets.size(); ++i) {
      const YAML::Node s = sockets[i];
      const std::string ef = sf + "[" + std::to_string(i) + "]";
      c.RequireMap(s, ef, {"socket", "segment", "stack_present_mask", "stack_bus"});
      if (!s["socket"]) c.Fail(s, ef + ".socket", "missing", "write `socket: N` with N from 0 to 7");
      const auto index = c.Unsigned(s["socket"], ef + ".socket", kSockets - 1);
      if (given[index])
        c.Fail(s["socket"], ef + ".socket", "socket " + std::to_string(index) + " given twice",
               "describe each socket once");
      given[index] = true;
      uint8_t* entry = &layout[8 + 8 * index];
      if (s["segment"]) entry[0] = static_cast<uint8_t>(c.Unsigned(s["segment"], ef + ".segment", 0xFF));
      if (s["stack_present_mask"]) {
        entry[1] = static_cast<uint8_t>(c.Unsigned(s["stack_present_mask"], ef + ".stack_present_mask", 0xFF));
      }
      if (const YAML::Node buses = s["stack_bus"]) {
        c.RequireSequence(buses, ef + ".stack_bus");
        if (buses.size() > kSocketStacks) {
          c.Fail(buses, ef + ".stack_bus", std::to_string(buses.size()) + " buses given",
                 "list at most 6 bus numbers, one per stack 0..5");
        }
        for (size_t k = 0; k < buses.size(); ++k) {
          entry[2 + k] = static_cast<uint8_t>(c.Unsigned(buses[k], ef + ".stack_bus[" + std::to_string(k) + "]", 0xFF));
        }
      }
    }
  }
  return layout;
}

}  // namespace

void ParsePcdSection(const YAML::Node& node, const BoardFileContext& c, Board& board) {
  c.RequireMap(node, "pcd", {"ecam_base", "socket_bus_layout", "uuid_timestamp"});
  if (node["ecam_base"]) board.pcd.ecam_base = c.Unsigned(node["ecam_base"], "pcd.ecam_base", UINT64_MAX);
  if (node["socket_bus_layout"]) {
    board.pcd.socket_bus_layout = ParseLayout(node["socket_bus_layout"], c, "pcd.socket_bus_layout");
  }
  if (node["uuid_timestamp"]) {
    board.pcd.uuid_timestamp =
        static_cast<uint32_t>(c.Unsigned(node["uuid_timestamp"], "pcd.uuid_timestamp", 0xFFFFFFFF));
  }
}

void ApplyPcdSection(const Board& board, DxePlatform& platform) {
  platform.Pcd().Set64(kPcdEcamBase, board.pcd.ecam_base);
  platform.Pcd().SetPointer(kPcdSocketBusLayout, board.pcd.socket_bus_layout);
  platform.Pcd().Set32(kPcdUuidTimestamp, board.pcd.uuid_timestamp);
}

}  // namespace sim
