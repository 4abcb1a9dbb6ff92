// Builds the header, handle and message record of one SyS-T string message on the stack.
#include "trace/syst/syst_string_message.h"

#include "trace/syst/syst_message_writer.h"

namespace {

void ClearBytes(VOID *Memory, UINTN Size) {
  UINT8 *Bytes = static_cast<UINT8 *>(Memory);
  for (UINTN i = 0; i < Size; ++i) Bytes[i] = 0;
}

constexpr SystPayloadDescriptor OriginGuidDescriptor = {SystPayload32, 4, 4};
constexpr SystPayloadDescriptor LengthDescriptor = {SystPayload16, 40, 1};
constexpr SystPayloadDescriptor InlineTextDescriptor = {SystPayload32, 48, 6};
constexpr SystPayloadDescriptor TextByReferenceDescriptor = {SystPayloadByReference, 48, 0};
constexpr SystPayloadDescriptor EndDescriptor = {SystPayloadEnd, 0, 0};

constexpr SystChannelPair ModuleChannel = {32, 14};

}  // namespace

void SystInitHeader(SystTraceHeader *Header, SystTransportInit Transport, UINTN PlatformArgument) {
  ClearBytes(Header, sizeof(*Header));
  Header->ApiVersion = SystApiVersion;
  Header->Writer = SystMessageWriter;
  if (Transport != NULL) {
    Transport(Header, PlatformArgument);
  }
}

void SystInitHandle(SystTraceHandle *Handle, SystTraceHeader *Header, const SystChannelPair *Pair) {
  ClearBytes(Handle, sizeof(*Handle));
  Handle->Header = Header;
  Handle->Flags = SystHandleInitialised;
  if (Header->InitHandle != NULL) {
    Header->InitHandle(Handle, Pair);
  }
  Handle->Tag = (Handle->Tag & 0xFFFF0FFFu) | 0x00FF0000u;
  Handle->OriginGuid = SystOriginGuid;
}

void SystWriteString(SystTraceHandle *Handle, UINT32 Severity, const CHAR8 *Text, UINT16 Length) {
  static constexpr CHAR8 EmptyText[1] = {0};
  if (Text == NULL) {
    Text = EmptyText;
    Length = 0;
  }
  SystMessageRecord Record;
  ClearBytes(&Record, sizeof(Record));
  SystPayloadDescriptor Descriptors[4];
  UINT32 Used = 0;

  Record.Header = ((Severity & 7) << 4) | (Handle->Tag & SystTagMask) | SystSubtypeString | SystTypeString;
  if (((Record.Header >> 16) & 0xFF) == 0xFF) {
    const UINT8 *Guid = reinterpret_cast<const UINT8 *>(&Handle->OriginGuid);
    for (UINT32 i = 0; i < 16; ++i) Record.OriginGuid[i] = Guid[i];
    Descriptors[Used++] = OriginGuidDescriptor;
  }
  if (Length != 0) {
    Record.Header |= SystLengthPresent;
    Record.PayloadLength = Length;
    UINTN Pointer = reinterpret_cast<UINTN>(Text);
    for (UINT32 i = 0; i < sizeof(UINTN); ++i) Record.Text[i] = static_cast<UINT8>(Pointer >> (8 * i));
    Descriptors[Used++] = LengthDescriptor;
    Descriptors[Used] = TextByReferenceDescriptor;
    Descriptors[Used++].Count = Length;
  } else {
    for (UINT32 i = 0; i < SystInlineTextSize; ++i) {
      Record.Text[i] = static_cast<UINT8>(Text[i]);
      if (Text[i] == 0) break;  // the rest stays zero
    }
    Descriptors[Used++] = InlineTextDescriptor;
  }
  Descriptors[Used] = EndDescriptor;
  if (Handle->Header->Writer != NULL) {
    Handle->Header->Writer(Handle, Descriptors, &Record);
  }
}

UINT32 SystEmitString(SystTransportInit Transport, UINT32 Severity, const CHAR8 *Text, UINT16 Length) {
  SystTraceHeader Header;
  SystTraceHandle Handle;
  SystChannelPair Pair = ModuleChannel;
  SystInitHeader(&Header, Transport, 0);
  SystInitHandle(&Handle, &Header, &Pair);
  SystWriteString(&Handle, Severity, Text, Length);
  return 0;
}
