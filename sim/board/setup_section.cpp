// Board-file section `setup`: the ten setup variables the driver loads into its configuration image.
// Each is present (its expected size, every byte its 1-based table number unless a fill is given), absent,
// short (10 bytes short), long (16 bytes over), or given as `{size: N, fill: B}` or `{data: ".."}`.
//
//   setup:
//     default: present              # for the variables not listed: present or absent
//     variables:
//       SocketMpLinkConfig: short
//       DraskSetup: absent
//       VdxRcConfiguration: long
//       FpgaSocketConfig: {data: "01 02 03"}
#include "sim/board/board_sections.h"
#include "sim/board/variable_data_field.h"
#include "sim/dxe/dxe_platform.h"
#include "sim/dxe/setup_variables.h"
#include "sim/dxe/variable_store.h"

namespace sim {

namespace {

constexpr size_t kShortBy = 10;
constexpr size_t kLongBy = 16;

std::string SetupNames() {
  std::string names;
  for (const SetupVariable& v : SetupVariables()) {
    names += std::string(names.empty() ? "" : ", ") + VariableNameToString(v.name);
  }
  return names;
}

std::optional<std::vector<uint8_t>> ParseState(const YAML::Node& node, const BoardFileContext& c,
                                               const std::string& field, size_t index) {
  const SetupVariable& v = SetupVariables()[index];
  const uint8_t fill = static_cast<uint8_t>(index + 1);
  if (node.IsMap()) {
    c.RequireMap(node, field, {"size", "fill", "data"});
    return ParseVariableData(node, c, field, fill);
  }
  const std::string state = c.String(node, field);
  if (state == "present") return std::vector<uint8_t>(v.size, fill);
  if (state == "absent") return std::nullopt;
  if (state == "short") return std::vector<uint8_t>(v.size > kShortBy ? v.size - kShortBy : 1, fill);
  if (state == "long") return std::vector<uint8_t>(v.size + kLongBy, fill);
  c.Fail(node, field, "unknown state `" + state + "`",
         "use present, absent, short, long, {size: N, fill: B} or {data: \"..\"}");
}

}  // namespace

void ParseSetupSection(const YAML::Node& node, const BoardFileContext& c, Board& board) {
  c.RequireMap(node, "setup", {"default", "variables"});
  bool present = true;
  if (const YAML::Node d = node["default"]) {
    const std::string s = c.String(d, "setup.default");
    if (s != "present" && s != "absent")
      c.Fail(d, "setup.default", "unknown default `" + s + "`", "use present or absent");
    present = s == "present";
  }
  BoardSetup setup;
  for (size_t i = 0; i < SetupVariables().size(); ++i) {
    const SetupVariable& v = SetupVariables()[i];
    if (present) {
      setup.variables.push_back(std::vector<uint8_t>(v.size, static_cast<uint8_t>(i + 1)));
    } else {
      setup.variables.push_back(std::nullopt);
    }
  }
  if (const YAML::Node list = node["variables"]) {
    if (!list.IsMap()) {
      c.Fail(list, "setup.variables", "expected a mapping of variable names to states", "write `Name: state` lines");
    }
    for (auto it = list.begin(); it != list.end(); ++it) {
      const std::string name = it->first.Scalar();
      const std::string field = "setup.variables." + name;
      const SetupVariable* v = FindSetupVariable(name);
      if (v == nullptr)
        c.Fail(it->first, field, "unknown setup variable `" + name + "`", "use one of: " + SetupNames());
      const size_t index = static_cast<size_t>(v - SetupVariables().data());
      setup.variables[index] = ParseState(it->second, c, field, index);
    }
  }
  board.setup = std::move(setup);
}

void ApplySetupSection(const Board& board, DxePlatform& platform) {
  if (!board.setup) return;
  VariableStore& store = PlatformVariableStore(platform);
  for (size_t i = 0; i < board.setup->variables.size(); ++i) {
    if (!board.setup->variables[i]) continue;
    const SetupVariable& v = SetupVariables()[i];
    store.Put(v.name, v.vendor, kSetupVariableAttributes, *board.setup->variables[i]);
  }
}

}  // namespace sim
