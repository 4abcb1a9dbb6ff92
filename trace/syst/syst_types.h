// MIPI SyS-T encoder records: the encoder state with its transport operations, the message source,
// the per-message working record and the descriptors that say how to send its pieces.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"

struct SystTraceHeader;
struct SystTraceHandle;
struct SystMessageRecord;
struct SystPayloadDescriptor;

typedef void (*SystInitHandleHook)(SystTraceHandle *Handle, const VOID *Argument);
typedef void (*SystMessageWriterFunction)(SystTraceHandle *Handle, const SystPayloadDescriptor *Descriptors,
                                          const SystMessageRecord *Record);
typedef void (*SystWrite8)(SystTraceHandle *Handle, UINT8 Value);
typedef void (*SystWrite16)(SystTraceHandle *Handle, UINT16 Value);
typedef void (*SystWrite32)(SystTraceHandle *Handle, UINT32 Value);
typedef void (*SystEndMessage)(SystTraceHandle *Handle);
// Fills the hooks, the operations and the platform word of a header (the platform's transport).
typedef void (*SystTransportInit)(SystTraceHeader *Header, UINTN PlatformArgument);

constexpr UINT32 SystApiVersion = 0x00010400;

struct SystTraceHeader {
  UINT32 ApiVersion;
  SystInitHandleHook InitHandle;
  SystMessageWriterFunction Writer;
  SystWrite32 WriteFirstWord;  // time-stamped 32-bit write of the message header
  SystWrite8 Write8;
  SystWrite16 Write16;
  SystWrite32 Write32;
  SystEndMessage EndMessage;  // flag write marking the end of the message
  UINTN Platform;
};

// The {master, channel} pair a handle is set up with.
struct SystChannelPair {
  UINT32 Master;
  UINT32 Channel;
};

constexpr UINT32 SystHandleInitialised = 1u << 0;

struct SystTraceHandle {
  SystTraceHeader *Header;
  UINT32 Flags;
  UINT32 Tag;  // template of the message header's bits 7-23
  EFI_GUID OriginGuid;
  UINT32 Counter;
  // Platform part, written by the transport's init-handle hook.
  const SystChannelPair *ChannelPair;
  UINT32 Master;
  UINT32 Channel;
};

// Message header bits.
constexpr UINT32 SystTypeString = 2;
constexpr UINT32 SystSubtypeString = 1u << 24;
constexpr UINT32 SystTagMask = 0x00FFFF80;
constexpr UINT32 SystLengthPresent = 1u << 9;
constexpr UINT32 SystChecksumPresent = 1u << 10;
constexpr UINT32 SystGuidPresent = 1u << 23;

// Working area of one message; descriptors address it by byte offset.
constexpr UINT32 SystInlineTextSize = 24;
struct SystMessageRecord {
  UINT32 Header;
  UINT8 OriginGuid[16];
  UINT8 Reserved[20];
  UINT16 PayloadLength;
  UINT8 Padding[6];
  UINT8 Text[SystInlineTextSize];  // inline text, or the text's pointer when it goes by reference
};
static_assert(__builtin_offsetof(SystMessageRecord, OriginGuid) == 4, "origin GUID at 4");
static_assert(__builtin_offsetof(SystMessageRecord, PayloadLength) == 40, "payload length at 40");
static_assert(__builtin_offsetof(SystMessageRecord, Text) == 48, "text at 48");
static_assert(sizeof(SystMessageRecord) == 72, "message record is 72 bytes");

// A descriptor's kind: the size of its items (the message writer moves them by it), or a marker.
enum SystPayloadKind : UINT8 {
  SystPayload8 = sizeof(UINT8),
  SystPayload16 = sizeof(UINT16),
  SystPayload32 = sizeof(UINT32),
  SystPayloadByReference = 16,
  SystPayloadEnd = 255,
};

struct SystPayloadDescriptor {
  UINT8 Kind;
  UINT8 Offset;  // in SystMessageRecord: of the items, or of the pointer for by-reference data
  UINT16 Count;  // items, or bytes for by-reference data
};
static_assert(sizeof(SystPayloadDescriptor) == 4, "descriptor is 4 bytes");
