// Rendering the socket/stack bus layout record.
#include "sim/pci/socket_bus_layout.h"

namespace sim {

std::vector<uint8_t> RenderSocketBusLayout(const SocketBusLayoutSpec& layout) {
  std::vector<uint8_t> out(kSocketBusLayoutSize, 0);
  out[0] = layout.valid ? 1 : 0;
  uint32_t present = 0;
  for (size_t s = 0; s < kLayoutSockets; ++s) {
    if (!layout.sockets[s]) continue;
    present |= 1u << s;
    const SocketLayoutSpec& socket = *layout.sockets[s];
    uint8_t* entry = &out[8 + 8 * s];
    entry[0] = socket.segment;
    for (size_t k = 0; k < kLayoutStacks; ++k) {
      if (!socket.stack_bus[k]) continue;
      entry[1] |= static_cast<uint8_t>(1u << k);
      entry[2 + k] = *socket.stack_bus[k];
    }
  }
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(present >> (8 * i));
  return out;
}

}  // namespace sim
