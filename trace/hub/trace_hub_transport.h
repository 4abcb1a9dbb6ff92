// The trace-hub transport of the SyS-T encoder: hooks and operations that write one software-trace
// channel, or write nothing when the trace hub is unusable. The operations are public here for tests.
#pragma once
#include "trace/syst/syst_types.h"

// The transport's initialisation (a SystTransportInit): fills the init-handle hook, the operations and the
// platform word of a header.
void TraceHubTransportInit(SystTraceHeader *Header, UINTN PlatformArgument);

// Master and channel of the presence test made at every header initialisation.
constexpr UINT16 TraceHubPresenceMaster = 255;
constexpr UINT16 TraceHubPresenceChannel = 255;

// Init-handle hook: records the {master, channel} pair (its pointer and both numbers) in the handle.
void TraceHubInitHandle(SystTraceHandle *Handle, const VOID *ChannelPair);

// Live operations: each resolves the handle's channel afresh and writes only to a usable channel.
void TraceHubWriteFirstWord(SystTraceHandle *Handle, UINT32 Value);  // 32-bit at +0x10
void TraceHubWrite8(SystTraceHandle *Handle, UINT8 Value);           // at +0x00
void TraceHubWrite16(SystTraceHandle *Handle, UINT16 Value);         // at +0x00
void TraceHubWrite32(SystTraceHandle *Handle, UINT32 Value);         // at +0x00
void TraceHubEndMessage(SystTraceHandle *Handle);                    // 32-bit 0 at +0x30
