// The platform's ten setup variables and where their data lands in the driver's configuration image.
#include "sim/dxe/setup_variables.h"

namespace sim {

const std::vector<SetupVariable>& SetupVariables() {
  static const std::vector<SetupVariable> table = {
      {u"SocketIioConfig", {0xDD84017E, 0x7F52, 0x48F9, {0xB1, 0x6E, 0x50, 0xED, 0x9E, 0x0D, 0xBE, 0x27}}, 5414},
      {u"SocketCommonRcConfig", {0x4402CA38, 0x808F, 0x4279, {0xBC, 0xEC, 0x5B, 0xAF, 0x8D, 0x59, 0x09, 0x2F}}, 18},
      {u"SocketMpLinkConfig", {0x2B9B22DE, 0x2AD4, 0x4ABC, {0x95, 0x7D, 0x5F, 0x18, 0xC5, 0x04, 0xA0, 0x5C}}, 70},
      {u"SocketMemoryConfig", {0x98CF19ED, 0x4109, 0x4681, {0xB7, 0x9D, 0x91, 0x96, 0x75, 0x7C, 0x78, 0x24}}, 313},
      {u"SocketPowerManagementConfig",
       {0xA1047342, 0xBDBA, 0x4DAE, {0xA6, 0x7A, 0x40, 0x97, 0x9B, 0x65, 0xC7, 0xF8}},
       171},
      {u"SocketProcessorCoreConfig",
       {0x07013588, 0xC789, 0x4E12, {0xA7, 0xC3, 0x88, 0xFA, 0xFA, 0xE7, 0x9F, 0x7C}},
       75},
      {u"DraskSetup", {0xEC87D643, 0xEBA4, 0x4BB5, {0xA1, 0xE5, 0x3F, 0x3E, 0x36, 0xB2, 0x0D, 0xA9}}, 465},
      {u"VdxRcConfiguration", {0xD19A26A3, 0x17F1, 0x48C3, {0x8A, 0x1E, 0x11, 0xEB, 0x0A, 0x7F, 0x6E, 0x4E}}, 1129},
      {u"UgRcConfiguration", {0x2B26358D, 0xF899, 0x41C4, {0x9B, 0xC2, 0x82, 0xA3, 0x38, 0xB9, 0x93, 0xD8}}, 53},
      {u"FpgaSocketConfig", {0x75839B0B, 0x0A99, 0x4233, {0x8A, 0xA4, 0x38, 0x66, 0xF6, 0xCE, 0xF4, 0xB3}}, 15},
  };
  return table;
}

const SetupVariable* FindSetupVariable(const std::string& name) {
  for (const SetupVariable& v : SetupVariables()) {
    if (std::u16string(v.name) == std::u16string(name.begin(), name.end())) return &v;
  }
  return nullptr;
}

std::vector<SetupPlacement> PlaceSetupVariables(const std::vector<std::pair<bool, size_t>>& present_and_size) {
  std::vector<SetupPlacement> out;
  size_t offset = 0;
  const auto& table = SetupVariables();
  for (size_t i = 0; i < table.size(); ++i) {
    bool present = i < present_and_size.size() && present_and_size[i].first;
    size_t stored = present ? present_and_size[i].second : 0;
    bool fits = present && stored <= table[i].size;
    size_t length = fits ? stored : table[i].size;
    if (length > kSetupImageSize - offset) length = kSetupImageSize - offset;
    out.push_back({&table[i], offset, length, stored, present, !fits});
    offset += length;
  }
  return out;
}

}  // namespace sim
