// The trace hub's software-trace window: where a master's channel lies, and whether the hub may be used.
#pragma once
#include "uefi/base_types.h"

constexpr UINT32 TraceHubWindowBase = 0xFE200000;  // master 32, channel 0; also the probe word
constexpr UINT32 TraceHubFirstMaster = 32;         // masters below have no window
constexpr UINT32 TraceHubMasterSize = 8192;        // 128 channels of 64 bytes
constexpr UINT32 TraceHubChannelSize = 64;
constexpr UINT32 TraceHubProbeUndecoded = 0xFFFFFFFF;

// Channel registers (offsets in a channel).
constexpr UINT32 TraceHubChannelData = 0x00;         // 8-, 16- or 32-bit data
constexpr UINT32 TraceHubChannelTimestamped = 0x10;  // 32-bit data with time stamp: a message's first word
constexpr UINT32 TraceHubChannelEnd = 0x30;          // 32-bit write of 0: end of message

// The 32-bit address of the channel, or 0 when the trace hub is unusable: no PMC, an unprogrammed or
// all-ones power-management base, the disable bit set, the window not decoded, or a master below 32.
// Channels are not bounded (channel 128 is channel 0 of the next master); the arithmetic is 32-bit.
UINT32 ResolveChannelAddress(UINT16 Master, UINT16 Channel);
