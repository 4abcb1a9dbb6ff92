// Boot-services pool buffers for the driver's record builders.
#pragma once
#include "uefi/base_types.h"

// AllocatePool of EfiBootServicesData; null when the pool service fails.
VOID *AllocateBuffer(UINTN Size);
// AllocateBuffer, zero-filled when both the pointer and the size are non-zero.
VOID *AllocateZeroed(UINTN Size);
// FreePool through the boot services.
VOID FreeBuffer(VOID *Buffer);
