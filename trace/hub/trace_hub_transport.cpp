// Fills a SyS-T header with the trace-hub operations: live ones when the presence test finds a usable
// trace hub, operations that write nothing otherwise.
#include "trace/hub/trace_hub_transport.h"

#include "hw/mmio.h"
#include "trace/hub/channel_address.h"

namespace {

// The handle's channel address (0: unusable). The numbers are taken in their low 16 bits.
UINT32 HandleChannel(const SystTraceHandle *Handle) {
  return ResolveChannelAddress(static_cast<UINT16>(Handle->Master), static_cast<UINT16>(Handle->Channel));
}

// One write of the item's width at a register of the handle's channel, when the channel is usable.
template <typename Item>
void WriteAt(SystTraceHandle *Handle, UINT32 Register, Item Value, void (*Write)(UINTN, Item)) {
  UINT32 Channel = HandleChannel(Handle);
  if (Channel != 0) {
    Write(static_cast<UINTN>(Channel) + Register, Value);
  }
}

void SilentWrite8(SystTraceHandle *, UINT8) {}
void SilentWrite16(SystTraceHandle *, UINT16) {}
void SilentWrite32(SystTraceHandle *, UINT32) {}
void SilentEndMessage(SystTraceHandle *) {}

}  // namespace

void TraceHubInitHandle(SystTraceHandle *Handle, const VOID *ChannelPair) {
  const SystChannelPair *Pair = static_cast<const SystChannelPair *>(ChannelPair);
  Handle->ChannelPair = Pair;
  if (Pair != NULL) {
    Handle->Master = Pair->Master;
    Handle->Channel = Pair->Channel;
  }
}

void TraceHubWriteFirstWord(SystTraceHandle *Handle, UINT32 Value) {
  WriteAt(Handle, TraceHubChannelTimestamped, Value, MmioWrite32);
}

void TraceHubWrite8(SystTraceHandle *Handle, UINT8 Value) { WriteAt(Handle, TraceHubChannelData, Value, MmioWrite8); }

void TraceHubWrite16(SystTraceHandle *Handle, UINT16 Value) {
  WriteAt(Handle, TraceHubChannelData, Value, MmioWrite16);
}

void TraceHubWrite32(SystTraceHandle *Handle, UINT32 Value) {
  WriteAt(Handle, TraceHubChannelData, Value, MmioWrite32);
}

void TraceHubEndMessage(SystTraceHandle *Handle) {
  WriteAt(Handle, TraceHubChannelEnd, static_cast<UINT32>(0), MmioWrite32);
}

namespace {

// The five writes of a header: live ones or silent ones, chosen once at initialisation.
void SetWrites(SystTraceHeader *Header, SystWrite32 FirstWord, SystWrite8 Write8, SystWrite16 Write16,
               SystWrite32 Write32, SystEndMessage EndMessage) {
  Header->WriteFirstWord = FirstWord;
  Header->Write8 = Write8;
  Header->Write16 = Write16;
  Header->Write32 = Write32;
  Header->EndMessage = EndMessage;
}

}  // namespace

void TraceHubTransportInit(SystTraceHeader *Header, UINTN PlatformArgument) {
  Header->InitHandle = TraceHubInitHandle;
  Header->Platform = PlatformArgument;
  if (ResolveChannelAddress(TraceHubPresenceMaster, TraceHubPresenceChannel) != 0) {
    SetWrites(Header, TraceHubWriteFirstWord, TraceHubWrite8, TraceHubWrite16, TraceHubWrite32, TraceHubEndMessage);
  } else {
    SetWrites(Header, SilentWrite32, SilentWrite8, SilentWrite16, SilentWrite32, SilentEndMessage);
  }
}
