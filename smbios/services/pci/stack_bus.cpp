// The PCI segment and bus of a socket's I/O stack, from SocketBusLayout.
#include "smbios/services/pci/stack_bus.h"

#include "smbios/entry/driver_state.h"
#include "uefi/status.h"

namespace {
constexpr UINT8 MaxSocket = 7;
constexpr UINT8 MaxStack = 5;
}  // namespace

EFI_STATUS GetStackBus(UINT8 Socket, UINT8 Stack, UINT8 *Segment, UINT8 *Bus) {
  const SocketBusLayoutRecord &layout = *DriverSocketBusLayout();
  if (Socket > MaxSocket || (layout.SocketPresentMask & (1u << Socket)) == 0) return EFI_UNSUPPORTED;
  const SocketBusEntry &socket = layout.Sockets[Socket];
  if (Stack > MaxStack || (socket.StackPresentMask & (1u << Stack)) == 0) return EFI_UNSUPPORTED;
  *Segment = socket.Segment;
  *Bus = socket.StackBus[Stack];
  return EFI_SUCCESS;
}
