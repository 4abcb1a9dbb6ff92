// Test transports for the SyS-T encoder: one records every operation call, one writes the operations
// into a trace-hub channel window on the simulated bus so the bus recorder and decoder can check them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "trace/syst/syst_types.h"

namespace systtest {

struct TransportCall {
  std::string op;  // "init", "first", "alt", "w8", "w16", "w32", "end"
  uint32_t value = 0;
  bool operator==(const TransportCall&) const = default;
};

// Calls of the recording transport since the last Reset.
std::vector<TransportCall>& Calls();
void ResetCalls();
// The platform argument and channel pair the last init-handle call received.
UINTN LastPlatformArgument();

void RecordingTransport(SystTraceHeader* header, UINTN platform_argument);

// Writes to channel address 0xFE200000 + (master - 32) * 8192 + channel * 64: first word at +0x10,
// data at +0x00 in the item's width, end mark (32-bit 0) at +0x30.
void MmioTransport(SystTraceHeader* header, UINTN platform_argument);

// Sets up a header with the transport and a handle on master 32, channel 14 whose tag asks for the CRC.
void InitChecksumHandle(SystTraceHeader* header, SystTraceHandle* handle, SystTransportInit transport);

}  // namespace systtest
