// Operations every SMBIOS record builder shares: strings, sizes, adding, finding and removing records.
#include "smbios/records/record_toolkit.h"

#include "smbios/services/smbios_protocol.h"
#include "smbios/services/text_and_memory.h"
#include "uefi/status.h"

namespace {

constexpr UINTN kMaxStringBytes = 64;      // a string of 64 characters or more is malformed
constexpr UINTN kSetRecordStringMax = 65;  // UCS-2 characters SetRecordString takes from its argument
constexpr UINTN kNoLimit = ~static_cast<UINTN>(0);
// Handles are 16-bit and 0xFFFE/0xFFFF are reserved, so no table holds more records than this.
constexpr UINTN kMaxRecordsOfType = 0xFFFE;

struct StringSet {
  UINTN Size;   // formatted area plus string set, final NUL included
  UINTN Count;  // number of strings
};

// Walks the string set of a record. No byte at or past Limit is read; a set that does not end before
// Limit, or a string of 64 characters or more, is malformed.
EFI_STATUS MeasureRecord(const EFI_SMBIOS_TABLE_HEADER *Record, UINTN Limit, StringSet *Set) {
  const UINT8 *bytes = reinterpret_cast<const UINT8 *>(Record);
  UINTN p = Record->Length;
  UINTN size = Record->Length;
  UINTN count = 0;
  for (;;) {
    if (p + 1 >= Limit) return EFI_INVALID_PARAMETER;
    if (bytes[p] == 0) {
      ++p;
      if (bytes[p] == 0) {
        Set->Size = size + 2;
        Set->Count = count;
        return EFI_SUCCESS;
      }
      size += 1;
    }
    UINTN length = 0;
    while (length < kMaxStringBytes && p + length < Limit && bytes[p + length] != 0) ++length;
    if (length == kMaxStringBytes) return EFI_INVALID_PARAMETER;
    // A string that runs up to Limit leaves p at Limit, which the check at the top refuses.
    size += length;
    p += length;
    ++count;
  }
}

// Replaces (or appends, at Count + 1) string N of a record whose set is already measured.
EFI_STATUS PutString(EFI_SMBIOS_TABLE_HEADER *Record, const StringSet &Old, UINTN N, const CHAR8 *Ascii,
                     UINTN NewLength) {
  UINT8 *bytes = reinterpret_cast<UINT8 *>(Record);
  UINT8 *set = bytes + Record->Length;
  UINTN off = 0;
  for (UINTN passed = 0; passed + 1 < N; ++off) {
    if (set[off] == 0) ++passed;
  }
  UINTN oldLength = AsciiBoundedLength(reinterpret_cast<const CHAR8 *>(set + off), kMaxStringBytes);

  // An append after existing strings keeps the old final NUL and adds a new one; every other change
  // trades the old string's bytes for the new ones.
  BOOLEAN appendAfterStrings = (N == Old.Count + 1) && Old.Count != 0;
  UINTN newSize = appendAfterStrings ? Old.Size + NewLength + 1 : Old.Size - oldLength + NewLength;
  if (newSize > SmbiosRecordBufferSize) return EFI_BUFFER_TOO_SMALL;

  // Rebuilt in place: the strings after string N move (overlap-safe; not at all for a string of the same
  // length), then the new string goes in.
  UINTN head = Record->Length + off;
  UINTN tail = Old.Size - head - oldLength - 1;
  CopyMemory(bytes + head + NewLength + 1, bytes + head + oldLength + 1, tail);
  CopyMemory(bytes + head, Ascii, NewLength + 1);
  if (appendAfterStrings) bytes[head + NewLength + 1] = 0;
  return EFI_SUCCESS;
}

}  // namespace

EFI_STATUS GetRecordSize(const EFI_SMBIOS_TABLE_HEADER *Record, UINTN *Size) {
  if (Record == nullptr || Size == nullptr) return EFI_INVALID_PARAMETER;
  StringSet set;
  EFI_STATUS status = MeasureRecord(Record, kNoLimit, &set);
  if (EFI_ERROR(status)) return status;
  *Size = set.Size;
  return EFI_SUCCESS;
}

EFI_STATUS SetRecordString(EFI_SMBIOS_TABLE_HEADER *Record, UINTN StringNumber, const CHAR16 *Text) {
  if (Record == nullptr || StringNumber == 0) return EFI_INVALID_PARAMETER;

  // The ASCII form is built on the stack: a builder ignores this function's status, so a failure here
  // would publish a record naming a string it does not hold.
  CHAR8 ascii[kSetRecordStringMax + 1];
  ZeroMemory(ascii, sizeof ascii);
  UINTN m = Ucs2BoundedLength(Text, kSetRecordStringMax);
  // A text longer than 65 characters is refused by the copy and leaves the buffer empty.
  Ucs2ToAsciiCopy(ascii, Text, m + 1);
  UINTN newLength = AsciiBoundedLength(ascii, m + 1);

  // An empty string would end the set early; one of 64 characters or more would make the record malformed.
  if (newLength == 0 || newLength >= kMaxStringBytes) return EFI_INVALID_PARAMETER;
  StringSet old;
  if (EFI_ERROR(MeasureRecord(Record, SmbiosRecordBufferSize, &old)) || StringNumber > old.Count + 1) {
    return EFI_INVALID_PARAMETER;
  }
  return PutString(Record, old, StringNumber, ascii, newLength);
}

EFI_STATUS AddRecord(EFI_SMBIOS_TABLE_HEADER *Record) {
  if (Record == nullptr) return EFI_INVALID_PARAMETER;
  EFI_STATUS status;
  EFI_SMBIOS_PROTOCOL *smbios = GetSmbiosProtocol(&status);
  if (smbios == nullptr) return status;
  EFI_SMBIOS_HANDLE handle = SMBIOS_HANDLE_PI_RESERVED;
  status = smbios->Add(smbios, nullptr, &handle, Record);
  if (!EFI_ERROR(status)) Record->Handle = handle;
  // The status of Add itself is not passed on; a refused Add leaves the Handle field as it was.
  return EFI_SUCCESS;
}

EFI_STATUS FindFirstRecordOfType(UINT8 Type, EFI_SMBIOS_HANDLE *Handle) {
  if (Handle == nullptr) return EFI_INVALID_PARAMETER;
  EFI_STATUS status;
  EFI_SMBIOS_PROTOCOL *smbios = GetSmbiosProtocol(&status);
  if (smbios == nullptr) return status;
  EFI_SMBIOS_HANDLE handle = SMBIOS_HANDLE_PI_RESERVED;
  EFI_SMBIOS_TYPE type = Type;
  EFI_SMBIOS_TABLE_HEADER *record = nullptr;
  status = smbios->GetNext(smbios, &handle, &type, &record, nullptr);
  if (EFI_ERROR(status) || handle == SMBIOS_HANDLE_PI_RESERVED) return EFI_NOT_FOUND;
  *Handle = handle;
  return EFI_SUCCESS;
}

EFI_STATUS RemoveFirstRecordOfType(UINT8 Type) {
  EFI_SMBIOS_HANDLE handle = SMBIOS_HANDLE_PI_RESERVED;
  EFI_STATUS status = FindFirstRecordOfType(Type, &handle);
  if (EFI_ERROR(status)) return status;
  // The find has located the protocol, so the cached one is there.
  EFI_SMBIOS_PROTOCOL *smbios = GetSmbiosProtocol(&status);
  return smbios->Remove(smbios, handle);
}

EFI_STATUS RemoveAllRecordsOfType(UINT8 Type) {
  EFI_STATUS status;
  EFI_SMBIOS_PROTOCOL *smbios = GetSmbiosProtocol(&status);
  if (smbios == nullptr) return status;

  // Count first, walking on from each handle GetNext returns, then remove the first record of the type that
  // many times: the walk never continues from a handle that has just been removed. The bound (no table holds
  // more records than there are handles) keeps a protocol whose walk never ends from looping on.
  UINTN count = 0;
  EFI_SMBIOS_HANDLE handle = SMBIOS_HANDLE_PI_RESERVED;
  while (count < kMaxRecordsOfType) {
    EFI_SMBIOS_TYPE type = Type;
    EFI_SMBIOS_TABLE_HEADER *record = nullptr;
    status = smbios->GetNext(smbios, &handle, &type, &record, nullptr);
    if (EFI_ERROR(status) || handle == SMBIOS_HANDLE_PI_RESERVED) break;
    ++count;
  }
  for (UINTN removed = 0; removed < count; ++removed) {
    status = RemoveFirstRecordOfType(Type);
    if (EFI_ERROR(status)) return status;
  }
  return EFI_SUCCESS;
}
