// The slots' root ports as the driver finds them: its slot inventory over the board's bus layout record.
#include "tools/boardsim/slot_root_ports.h"

#include <algorithm>
#include <cstring>

#include "smbios/board/board_inventory.h"
#include "smbios/entry/driver_state.h"

namespace boardsim {

std::vector<SlotRootPort> SlotRootPorts(const std::vector<uint8_t>& socket_bus_layout) {
  SocketBusLayoutRecord layout{};
  if (!socket_bus_layout.empty())
    std::memcpy(&layout, socket_bus_layout.data(), std::min(socket_bus_layout.size(), sizeof layout));
  std::vector<SlotRootPort> ports;
  if (layout.Valid == 0) return ports;
  for (const BoardSlot& slot : BoardSlots) {
    if (slot.Socket > 7 || (layout.SocketPresentMask & (1u << slot.Socket)) == 0) continue;
    const SocketBusEntry& socket = layout.Sockets[slot.Socket];
    if (slot.Stack > 5 || (socket.StackPresentMask & (1u << slot.Stack)) == 0) continue;
    SlotRootPort port;
    port.at = {socket.Segment, socket.StackBus[slot.Stack], slot.FirstPort, 0};
    for (const CHAR16* c = slot.Designation; *c != 0 && port.designation.size() + 1 < SlotDesignationChars; ++c)
      port.designation += *c < 0x80 ? static_cast<char>(*c) : '?';
    ports.push_back(std::move(port));
  }
  return ports;
}

}  // namespace boardsim
