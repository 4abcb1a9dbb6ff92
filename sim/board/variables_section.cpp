// Board-file section `variables`: UEFI variables in the store before the driver runs, and the store's faults.
//
//   variables:
//     write_protected: false        # every SetVariable refused
//     capacity: 65536               # total data bytes the store holds
//     list:
//       - name: PSU1
//         guid: 2D667ED8-A97C-49C1-AE0F-409736E25BF4
//         attributes: 0x3           # default: non-volatile, boot-service access
//         data: "01 02 03"          # or size: N with fill: B
#include "sim/board/board_sections.h"
#include "sim/board/variable_data_field.h"
#include "sim/dxe/dxe_platform.h"
#include "sim/dxe/variable_store.h"

namespace sim {

namespace {

constexpr uint64_t kMaxVariableSize = 1 << 20;

}  // namespace

std::vector<uint8_t> ParseVariableData(const YAML::Node& node, const BoardFileContext& c, const std::string& field,
                                       uint8_t default_fill) {
  if (node["data"] && (node["size"] || node["fill"])) {
    c.Fail(node, field, "`data` together with `size`/`fill`", "give the bytes, or a size and a fill byte");
  }
  if (node["data"]) return c.HexBytes(node["data"], field + ".data");
  if (!node["size"]) c.Fail(node, field + ".size", "missing", "write `data: \"..\"` or `size: N`");
  size_t size = c.Unsigned(node["size"], field + ".size", kMaxVariableSize);
  uint8_t fill = default_fill;
  if (node["fill"]) fill = static_cast<uint8_t>(c.Unsigned(node["fill"], field + ".fill", 0xFF));
  return std::vector<uint8_t>(size, fill);
}

void ParseVariablesSection(const YAML::Node& node, const BoardFileContext& c, Board& board) {
  c.RequireMap(node, "variables", {"write_protected", "capacity", "list"});
  if (node["write_protected"]) {
    board.variables.write_protected = c.Boolean(node["write_protected"], "variables.write_protected");
  }
  if (node["capacity"]) board.variables.capacity = c.Unsigned(node["capacity"], "variables.capacity", UINT32_MAX);
  if (const YAML::Node list = node["list"]) {
    c.RequireSequence(list, "variables.list");
    for (size_t i = 0; i < list.size(); ++i) {
      const std::string field = "variables.list[" + std::to_string(i) + "]";
      const YAML::Node v = list[i];
      c.RequireMap(v, field, {"name", "guid", "attributes", "data", "size", "fill"});
      if (!v["name"]) c.Fail(v, field + ".name", "missing", "write the variable's name, e.g. `name: PSU1`");
      if (!v["guid"]) c.Fail(v, field + ".guid", "missing", "write the vendor GUID as 8-4-4-4-12 hex digits");
      BoardVariable variable;
      const std::string name = c.String(v["name"], field + ".name");
      if (name.empty()) c.Fail(v["name"], field + ".name", "empty name", "UEFI variables need a name");
      variable.name = VariableNameFromString(name);
      variable.vendor = c.Guid(v["guid"], field + ".guid");
      variable.attributes = EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS;
      if (v["attributes"]) {
        variable.attributes = static_cast<uint32_t>(c.Unsigned(v["attributes"], field + ".attributes", 0xFFFFFFFF));
      }
      variable.data = ParseVariableData(v, c, field, 0);
      variable.origin = c.Origin(v);
      board.variables.list.push_back(std::move(variable));
    }
  }
}

void ApplyVariablesSection(const Board& board, DxePlatform& platform) {
  const BoardVariables& v = board.variables;
  if (v.list.empty() && !v.write_protected && !v.capacity) return;
  VariableStore& store = PlatformVariableStore(platform);
  for (const BoardVariable& variable : v.list)
    store.Put(variable.name, variable.vendor, variable.attributes, variable.data);
  store.SetWriteProtected(v.write_protected);
  store.SetCapacity(v.capacity);
}

}  // namespace sim
