// Sends one SyS-T message described by a descriptor list through the header's transport operations.
#pragma once
#include "trace/syst/syst_types.h"

// Header word as the first (time-stamped) write, each descriptor's items in order, the CRC-32 when
// the handle's tag asks for it, then the end mark. Unknown descriptor kinds and descriptors whose items
// would lie outside the record are skipped.
void SystMessageWriter(SystTraceHandle *Handle, const SystPayloadDescriptor *Descriptors,
                       const SystMessageRecord *Record);
