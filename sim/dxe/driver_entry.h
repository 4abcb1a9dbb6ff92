// What a board run calls as the DXE driver's entry point: the host-linked entry function, or a built image's
// entry run in the emulator (an object, so no process-wide "armed image" is needed to reach it).
#pragma once
#include <functional>

#include "uefi/system_table.h"

namespace sim {

using DriverEntry = std::function<EFI_STATUS(EFI_HANDLE image_handle, EFI_SYSTEM_TABLE* system_table)>;

}  // namespace sim
