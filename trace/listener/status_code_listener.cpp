// Dispatch of one status code to its line of text: assertion, debug message, error code, string record,
// progress code, or the undefined-code line.
#include "trace/listener/status_code_listener.h"

#include "trace/format/format_text.h"
#include "trace/listener/status_code_records.h"
#include "trace/syst/emit_trace_string.h"
#include "uefi/status.h"

namespace {

const UINT8 *RecordBytes(const EFI_STATUS_CODE_DATA *Data) { return reinterpret_cast<const UINT8 *>(Data); }

// Records need not be aligned: fields are read byte by byte, little-endian.
UINT32 Load32(const UINT8 *P) {
  return P[0] | (static_cast<UINT32>(P[1]) << 8) | (static_cast<UINT32>(P[2]) << 16) |
         (static_cast<UINT32>(P[3]) << 24);
}

bool HasType(const EFI_STATUS_CODE_DATA *Data, const EFI_GUID *Type) {
  return Data != NULL &&
         GuidEqual(reinterpret_cast<const EFI_GUID *>(RecordBytes(Data) + StatusCodeDataTypeGuidOffset), Type);
}

bool IsAssertion(EFI_STATUS_CODE_TYPE CodeType, EFI_STATUS_CODE_VALUE Value, const EFI_STATUS_CODE_DATA *Data) {
  return Data != NULL && (CodeType & EFI_STATUS_CODE_TYPE_MASK) == EFI_ERROR_CODE &&
         (CodeType >> 24) == AssertCodeTypeSeverity && (Value & 0xFFFF) == AssertValueOperation;
}

UINT32 FormatAssertion(CHAR8 *Text, const EFI_STATUS_CODE_DATA *Data) {
  const CHAR8 *FileName = reinterpret_cast<const CHAR8 *>(RecordBytes(Data) + AssertFileNameOffset);
  const CHAR8 *Description = FileName;
  while (*Description != 0) ++Description;
  ++Description;
  return FormatText(Text, TraceTextBufferSize, "\n\rPEI_ASSERT!: %a (%d): %a\n\r", FileName,
                    Load32(RecordBytes(Data) + AssertLineNumberOffset), Description);
}

// The error line: code, then the caller GUID and the data record's address when given, then CR LF. Each
// piece is written at the end of the text with the room that is left.
UINT32 FormatErrorCode(CHAR8 *Text, EFI_STATUS_CODE_TYPE CodeType, EFI_STATUS_CODE_VALUE Value, UINT32 Instance,
                       const EFI_GUID *CallerId, const EFI_STATUS_CODE_DATA *Data) {
  // The address is pointer-sized: 32-bit in the module, 64-bit in a 64-bit host build.
  constexpr const CHAR8 *AddressFormat = sizeof(UINTN) == 8 ? " %lx" : " %x";
  UINT32 Length = FormatText(Text, TraceTextBufferSize, "ERROR: C%08x:V%08x I%x", CodeType, Value, Instance);
  if (CallerId != NULL) {
    Length += FormatText(Text + Length, TraceTextBufferSize - Length, " %g", CallerId);
  }
  if (Data != NULL) {
    Length += FormatText(Text + Length, TraceTextBufferSize - Length, AddressFormat, reinterpret_cast<UINTN>(Data));
  }
  Length += FormatText(Text + Length, TraceTextBufferSize - Length, "\n\r");
  return Length;
}

}  // namespace

EFI_STATUS EFIAPI StatusCodeListener(CONST EFI_PEI_SERVICES **, EFI_STATUS_CODE_TYPE CodeType,
                                     EFI_STATUS_CODE_VALUE Value, UINT32 Instance, CONST EFI_GUID *CallerId,
                                     CONST EFI_STATUS_CODE_DATA *Data) {
  CHAR8 Text[TraceTextBufferSize];
  Text[0] = 0;
  UINT32 Length = 0;
  UINT32 Severity;

  if (IsAssertion(CodeType, Value, Data)) {
    Length = FormatAssertion(Text, Data);
    Severity = TraceSeverityAssert;
  } else if (HasType(Data, &gStatusCodeDebugInfoGuid)) {
    UINT32 Level = Load32(RecordBytes(Data) + DebugInfoErrorLevelOffset);
    if ((Level & DebugLevelMaskSent) == 0) {
      return EFI_SUCCESS;
    }
    // The arguments are bounded by the record's packed list: a format asking for more reads zeros.
    Length = FormatTextPacked(Text, TraceTextBufferSize, 0, RecordBytes(Data) + DebugInfoFormatOffset,
                              RecordBytes(Data) + DebugInfoArgumentsOffset, DebugInfoArgumentsSize);
    Severity = Level == DebugLevelError ? TraceSeverityError : TraceSeverityInfo;
  } else if ((CodeType & EFI_STATUS_CODE_TYPE_MASK) == EFI_ERROR_CODE) {
    Length = FormatErrorCode(Text, CodeType, Value, Instance, CallerId, Data);
    Severity = TraceSeverityError;
  } else if ((CodeType & EFI_STATUS_CODE_TYPE_MASK) == EFI_PROGRESS_CODE) {
    Severity = TraceSeverityInfo;  // an empty line
  } else if (HasType(Data, &gStatusCodeStringDataGuid) &&
             Load32(RecordBytes(Data) + StringDataTypeOffset) == StringTypeAscii) {
    UINTN String = Load32(RecordBytes(Data) + StringDataPointerOffset);  // a 32-bit pointer
    Length = FormatText(Text, TraceTextBufferSize, "%a\n\r", reinterpret_cast<const CHAR8 *>(String));
    Severity = TraceSeverityInfo;
  } else {
    Length = FormatText(Text, TraceTextBufferSize, "Undefined: C%x:V%x I%x\n\r", CodeType, Value, Instance);
    Severity = TraceSeverityUndefined;
  }

  EmitTraceString(Severity, Text, static_cast<UINT16>(Length));
  return EFI_SUCCESS;
}
