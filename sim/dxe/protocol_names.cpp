// The short names of the protocols the platform knows.
#include "sim/dxe/protocol_names.h"

#include <cstdio>

#include "uefi/protocols/hii_database.h"
#include "uefi/protocols/ipmi_transport.h"
#include "uefi/protocols/loaded_image.h"
#include "uefi/protocols/pcd.h"
#include "uefi/protocols/pci_io.h"
#include "uefi/protocols/platform_callback_registry.h"
#include "uefi/protocols/smbios.h"
#include "uefi/protocols/smm_base2.h"

namespace sim {

const std::vector<ProtocolName>& KnownProtocols() {
  static const std::vector<ProtocolName> table = {
      {"smbios", EFI_SMBIOS_PROTOCOL_GUID},
      {"pcd", PCD_PROTOCOL_GUID},
      {"hii", EFI_HII_DATABASE_PROTOCOL_GUID},
      {"registry", PLATFORM_CALLBACK_REGISTRY_GUID},
      {"loaded_image", EFI_LOADED_IMAGE_PROTOCOL_GUID},
      {"ipmi", IPMI_TRANSPORT_PROTOCOL_GUID},
      {"pci_io", EFI_PCI_IO_PROTOCOL_GUID},
      {"smm_base2", EFI_SMM_BASE2_PROTOCOL_GUID},
  };
  return table;
}

std::optional<EFI_GUID> ProtocolGuidByName(std::string_view name) {
  for (const ProtocolName& p : KnownProtocols()) {
    if (name == p.name) return p.guid;
  }
  return std::nullopt;
}

std::string GuidToString(const EFI_GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

std::string ProtocolNameOf(const EFI_GUID& guid) {
  for (const ProtocolName& p : KnownProtocols()) {
    if (GuidEqual(&p.guid, &guid)) return p.name;
  }
  return GuidToString(guid);
}

}  // namespace sim
