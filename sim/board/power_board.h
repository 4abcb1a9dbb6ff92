// Board data for the BMC and its power supplies, UEFI variables, the ten setup variables and SMM.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/dxe/ipmi_bmc.h"
#include "uefi/guid.h"

namespace sim {

// Section `bmc`: present means the platform has an IPMI transport protocol.
struct BoardBmc {
  BmcTiming timing;
  std::map<uint8_t, BmcSupply> supplies;  // by supply number
};

struct BoardVariable {
  std::u16string name;
  EFI_GUID vendor;
  uint32_t attributes;
  std::vector<uint8_t> data;
  std::string origin;  // "FILE:LINE"
};

// Section `variables`: variables in the store before the driver runs, and the store's fault switches.
struct BoardVariables {
  std::vector<BoardVariable> list;
  bool write_protected = false;
  std::optional<size_t> capacity;
};

// Section `setup`: the data of each of the ten setup variables in table order; nullopt = not in the store.
struct BoardSetup {
  std::vector<std::optional<std::vector<uint8_t>>> variables;
};

// Section `smm`: present means the platform has the SMM Base2 protocol.
struct BoardSmm {
  bool in_smm = false;
};

}  // namespace sim
