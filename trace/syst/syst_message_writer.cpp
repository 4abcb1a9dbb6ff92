// The SyS-T message writer: items leave little-endian in the widths the descriptors name.
#include "trace/syst/syst_message_writer.h"

#include "trace/syst/syst_crc32.h"

namespace {

// The operations of one message plus its running checksum.
struct WriterState {
  SystTraceHandle *Handle;
  const SystTraceHeader *Header;
  BOOLEAN Checksum;
  UINT32 Crc;
};

UINT32 Load(const UINT8 *Bytes, UINT32 Size) {
  UINT32 Value = 0;
  for (UINT32 i = 0; i < Size; ++i) Value |= static_cast<UINT32>(Bytes[i]) << (8 * i);
  return Value;
}

void Fold(WriterState *State, UINT32 Value, UINT32 Size) {
  if (!State->Checksum) return;
  for (UINT32 i = 0; i < Size; ++i) State->Crc = SystCrc32Fold(State->Crc, static_cast<UINT8>(Value >> (8 * i)));
}

// Sends one item of 1, 2 or 4 bytes.
void Send(WriterState *State, const UINT8 *Bytes, UINT32 Size) {
  UINT32 Value = Load(Bytes, Size);
  const SystTraceHeader *Header = State->Header;
  if (Size == 1) {
    if (Header->Write8 != NULL) Header->Write8(State->Handle, static_cast<UINT8>(Value));
  } else if (Size == 2) {
    if (Header->Write16 != NULL) Header->Write16(State->Handle, static_cast<UINT16>(Value));
  } else {
    if (Header->Write32 != NULL) Header->Write32(State->Handle, Value);
  }
  Fold(State, Value, Size);
}

void SendItems(WriterState *State, const SystPayloadDescriptor *Descriptor, const UINT8 *Record) {
  UINT32 Size = Descriptor->Kind;  // kinds 1, 2 and 4 are the item sizes
  if (Descriptor->Offset + static_cast<UINT32>(Descriptor->Count) * Size > sizeof(SystMessageRecord)) {
    return;
  }
  const UINT8 *Item = Record + Descriptor->Offset;
  for (UINT32 i = 0; i < Descriptor->Count; ++i, Item += Size) Send(State, Item, Size);
}

void SendByReference(WriterState *State, const SystPayloadDescriptor *Descriptor, const UINT8 *Record) {
  if (Descriptor->Offset + sizeof(UINTN) > sizeof(SystMessageRecord)) {
    return;
  }
  UINTN Pointer = 0;
  for (UINT32 i = 0; i < sizeof(UINTN); ++i) {
    Pointer |= static_cast<UINTN>(Record[Descriptor->Offset + i]) << (8 * i);
  }
  const UINT8 *Data = reinterpret_cast<const UINT8 *>(Pointer);
  UINT32 Remaining = Descriptor->Count;
  if (Data == NULL) {
    return;
  }
  for (; Remaining >= 4; Remaining -= 4, Data += 4) Send(State, Data, 4);
  if (Remaining >= 2) {
    Send(State, Data, 2);
    Remaining -= 2;
    Data += 2;
  }
  if (Remaining == 1) Send(State, Data, 1);
}

}  // namespace

void SystMessageWriter(SystTraceHandle *Handle, const SystPayloadDescriptor *Descriptors,
                       const SystMessageRecord *Record) {
  WriterState State = {Handle, Handle->Header, (Handle->Tag & SystChecksumPresent) != 0, SystCrc32Initial};
  const SystTraceHeader *Header = State.Header;
  const UINT8 *Bytes = reinterpret_cast<const UINT8 *>(Record);

  if (Header->WriteFirstWord != NULL) Header->WriteFirstWord(Handle, Record->Header);
  Fold(&State, Record->Header, 4);

  for (const SystPayloadDescriptor *Descriptor = Descriptors; Descriptor->Kind != SystPayloadEnd; ++Descriptor) {
    switch (Descriptor->Kind) {
      case SystPayload8:
      case SystPayload16:
      case SystPayload32: SendItems(&State, Descriptor, Bytes); break;
      case SystPayloadByReference: SendByReference(&State, Descriptor, Bytes); break;
      default: break;
    }
  }

  if (State.Checksum && Header->Write32 != NULL) Header->Write32(Handle, ~State.Crc);
  if (Header->EndMessage != NULL) Header->EndMessage(Handle);
}
