// The PCI segment and bus of a socket's I/O stack, from SocketBusLayout.
#pragma once
#include "uefi/base_types.h"

// EFI_UNSUPPORTED when the socket (0..7) or the stack (0..5) is absent.
EFI_STATUS GetStackBus(UINT8 Socket, UINT8 Stack, UINT8 *Segment, UINT8 *Bus);
