// Short names of the protocols the platform knows (board files name them; messages print them).
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "uefi/guid.h"

namespace sim {

struct ProtocolName {
  const char* name;  // as written in board files: "smbios", "pcd", ...
  EFI_GUID guid;
};

// The table: smbios, pcd, hii, registry, loaded_image, ipmi, pci_io, smm_base2.
const std::vector<ProtocolName>& KnownProtocols();
std::optional<EFI_GUID> ProtocolGuidByName(std::string_view name);
// The short name, or the GUID in registry format when unknown.
std::string ProtocolNameOf(const EFI_GUID& guid);
// Registry format: 8-4-4-4-12 upper-case hex digits.
std::string GuidToString(const EFI_GUID& guid);

}  // namespace sim
