// The test transports of the SyS-T encoder tests.
#include "recording_transport.h"

#include "hw/mmio.h"
#include "trace/syst/syst_string_message.h"

namespace systtest {

namespace {
std::vector<TransportCall> g_calls;
UINTN g_platform_argument = ~static_cast<UINTN>(0);

void Record(const char* op, uint32_t value) { g_calls.push_back({op, value}); }

void InitHandle(SystTraceHandle* handle, const VOID* argument) {
  const auto* pair = static_cast<const SystChannelPair*>(argument);
  handle->ChannelPair = pair;
  handle->Master = pair->Master;
  handle->Channel = pair->Channel;
  Record("init", (pair->Master << 16) | pair->Channel);
}
void First(SystTraceHandle*, UINT32 v) { Record("first", v); }
void W8(SystTraceHandle*, UINT8 v) { Record("w8", v); }
void W16(SystTraceHandle*, UINT16 v) { Record("w16", v); }
void W32(SystTraceHandle*, UINT32 v) { Record("w32", v); }
void End(SystTraceHandle*) { Record("end", 0); }

UINTN Channel(const SystTraceHandle* h) { return 0xFE200000u + (h->Master - 32) * 8192u + h->Channel * 64u; }
void MmioFirst(SystTraceHandle* h, UINT32 v) { MmioWrite32(Channel(h) + 0x10, v); }
void Mmio8(SystTraceHandle* h, UINT8 v) { MmioWrite8(Channel(h), v); }
void Mmio16(SystTraceHandle* h, UINT16 v) { MmioWrite16(Channel(h), v); }
void Mmio32(SystTraceHandle* h, UINT32 v) { MmioWrite32(Channel(h), v); }
void MmioEnd(SystTraceHandle* h) { MmioWrite32(Channel(h) + 0x30, 0); }
}  // namespace

std::vector<TransportCall>& Calls() { return g_calls; }
void ResetCalls() {
  g_calls.clear();
  g_platform_argument = ~static_cast<UINTN>(0);
}
UINTN LastPlatformArgument() { return g_platform_argument; }

void RecordingTransport(SystTraceHeader* header, UINTN platform_argument) {
  g_platform_argument = platform_argument;
  header->InitHandle = InitHandle;
  header->WriteFirstWord = First;
  header->Write8 = W8;
  header->Write16 = W16;
  header->Write32 = W32;
  header->EndMessage = End;
  header->Platform = platform_argument;
}

void MmioTransport(SystTraceHeader* header, UINTN platform_argument) {
  RecordingTransport(header, platform_argument);
  header->WriteFirstWord = MmioFirst;
  header->Write8 = Mmio8;
  header->Write16 = Mmio16;
  header->Write32 = Mmio32;
  header->EndMessage = MmioEnd;
}

void InitChecksumHandle(SystTraceHeader* header, SystTraceHandle* handle, SystTransportInit transport) {
  static const SystChannelPair pair = {32, 14};
  SystInitHeader(header, transport, 0);
  SystInitHandle(handle, header, &pair);
  handle->Tag |= SystChecksumPresent;
}

}  // namespace systtest
