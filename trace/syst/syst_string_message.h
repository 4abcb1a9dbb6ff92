// SyS-T string messages: header and handle set-up and the composition of one string message.
#pragma once
#include "trace/syst/syst_types.h"

// Origin GUID of this module's messages: 23A3E7BA-75D1-4CB9-9C8F-56FA4E48D99E.
inline constexpr EFI_GUID SystOriginGuid = {
    0x23A3E7BA, 0x75D1, 0x4CB9, {0x9C, 0x8F, 0x56, 0xFA, 0x4E, 0x48, 0xD9, 0x9E}};

// Clears the header, sets the API version and the writer, then lets the transport fill the rest.
void SystInitHeader(SystTraceHeader *Header, SystTransportInit Transport, UINTN PlatformArgument);

// Clears the handle, binds it to the header and the channel pair (through the init-handle hook) and
// sets the module's tag (bits 16-23, origin GUID present) and origin GUID.
void SystInitHandle(SystTraceHandle *Handle, SystTraceHeader *Header, const SystChannelPair *Pair);

// Composes one string message of the given severity (low three bits kept) and sends it with the
// header's writer. Length 0 sends the NUL-terminated text inline (at most 24 bytes, zero-padded);
// otherwise Length characters go by reference after a length field. A null text is an empty string.
void SystWriteString(SystTraceHandle *Handle, UINT32 Severity, const CHAR8 *Text, UINT16 Length);

// One message from a fresh header and handle on the stack, on master 32, channel 14. Returns 0.
UINT32 SystEmitString(SystTransportInit Transport, UINT32 Severity, const CHAR8 *Text, UINT16 Length);
