// The box-type rules that place a CPU CSR: its bus, device and function from socket, box type,
// instance and functional block. A request outside the rules ends in FatalStop; the stage then yields 0.
#pragma once
#include "uefi/base_types.h"

// Topology is the SocketTopology block of the SiliconContext; Context is the record itself (passed on
// to FatalStop only).
UINT32 GetCsrBus(const UINT8 *Context, UINT8 Socket, UINT8 BoxType, UINT8 Instance, UINT8 FunctionalBlock,
                 const UINT8 *Topology);
UINT32 GetCsrDevice(const UINT8 *Context, UINT8 BoxType, UINT8 Instance, UINT8 FunctionalBlock, const UINT8 *Topology);
UINT32 GetCsrFunction(const UINT8 *Context, UINT8 BoxType, UINT8 Instance, UINT8 FunctionalBlock,
                      const UINT8 *Topology);
