// The onboard MAC address source of a board, for the `boardsim smbios` report.
#include "tools/boardsim/mac_source.h"

#include <cstdio>

#include "sim/common/virtual_clock.h"
#include "sim/pci/pci_bus.h"
#include "smbios/board/board_inventory.h"

namespace boardsim {

namespace {

constexpr sim::PciLocation kChipsetRootPort{0, 0, 0x1C, 4};
constexpr uint16_t kNetworkVendor = 0x7A3B;

std::string Ids(const sim::PciFunctionSpec& f) {
  char text[80];
  std::snprintf(text, sizeof text, "%04X:%04X at %s", f.vendor_id, f.device_id, sim::ToString(f.location).c_str());
  return text;
}

bool IsEthernet(const sim::PciFunctionSpec& f) { return (f.header_type & 0x7F) == 0 && (f.class_code >> 8) == 0x0200; }

}  // namespace

std::string DescribeMacSource(const sim::Board& board) {
  sim::VirtualClock clock;
  sim::PciBus bus(board.pci, clock);
  const sim::PciFunction* port = bus.Find(kChipsetRootPort);
  if (port == nullptr || !port->Spec().IsBridge()) return "none: no chipset root port at 0000:00:1C.4";
  const sim::PciFunctionSpec& bridge = port->Spec();
  const sim::PciFunctionSpec* controller = nullptr;
  for (const sim::PciFunction* f : bus.EnumerationOrder()) {
    const sim::PciFunctionSpec& s = f->Spec();
    if (s.location.segment == 0 && s.location.bus >= bridge.secondary_bus && s.location.bus <= bridge.subordinate_bus &&
        IsEthernet(s)) {
      controller = &s;
      break;
    }
  }
  if (controller == nullptr) return "none: no Ethernet function below 0000:00:1C.4";
  if (controller->vendor_id == kNetworkVendor) {
    if (BoardIdListHas(IdListOf(PortRegisterDeviceIds), controller->device_id))
      return "port registers (BAR + 0x1E4440, + 0x1E44C0) of " + Ids(*controller);
    if (BoardIdListHas(IdListOf(ReceiveAddressDeviceIds), controller->device_id)) {
      const bool low = BoardIdListHas(IdListOf(LowReceiveAddressDeviceIds), controller->device_id);
      return std::string("receive-address registers (BAR + ") + (low ? "0x40" : "0x5400") + ") of " + Ids(*controller);
    }
  }
  return "VPD keyword \"V2\" of the onboard LAN function (socket 0, stack 3, device 3); the controller " +
         Ids(*controller) + " is of no listed kind";
}

}  // namespace boardsim
