// EFI_SMBIOS_PROTOCOL and the SMBIOS structure header, from the published layouts.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"

#define EFI_SMBIOS_PROTOCOL_GUID                                                   \
  {                                                                                \
    0x03583FF6, 0xCB36, 0x4940, { 0x94, 0x7E, 0xB9, 0xB3, 0x9F, 0x4A, 0xFA, 0xF7 } \
  }

typedef UINT16 EFI_SMBIOS_HANDLE;
typedef UINT8 EFI_SMBIOS_TYPE;

// As input to Add: assign a free handle. As input to GetNext: start at the first record; as its output: no more.
#define SMBIOS_HANDLE_PI_RESERVED ((EFI_SMBIOS_HANDLE)0xFFFE)

#pragma pack(push, 1)
struct EFI_SMBIOS_TABLE_HEADER {
  EFI_SMBIOS_TYPE Type;
  UINT8 Length;
  EFI_SMBIOS_HANDLE Handle;
};
#pragma pack(pop)
static_assert(sizeof(EFI_SMBIOS_TABLE_HEADER) == 4, "SMBIOS structure header is 4 bytes");

struct EFI_SMBIOS_PROTOCOL;

typedef EFI_STATUS(EFIAPI *EFI_SMBIOS_ADD)(IN const EFI_SMBIOS_PROTOCOL *This, IN EFI_HANDLE ProducerHandle OPTIONAL,
                                           IN OUT EFI_SMBIOS_HANDLE *SmbiosHandle, IN EFI_SMBIOS_TABLE_HEADER *Record);
typedef EFI_STATUS(EFIAPI *EFI_SMBIOS_UPDATE_STRING)(IN const EFI_SMBIOS_PROTOCOL *This,
                                                     IN EFI_SMBIOS_HANDLE *SmbiosHandle, IN UINTN *StringNumber,
                                                     IN CHAR8 *String);
typedef EFI_STATUS(EFIAPI *EFI_SMBIOS_REMOVE)(IN const EFI_SMBIOS_PROTOCOL *This, IN EFI_SMBIOS_HANDLE SmbiosHandle);
typedef EFI_STATUS(EFIAPI *EFI_SMBIOS_GET_NEXT)(IN const EFI_SMBIOS_PROTOCOL *This,
                                                IN OUT EFI_SMBIOS_HANDLE *SmbiosHandle,
                                                IN EFI_SMBIOS_TYPE *Type OPTIONAL, OUT EFI_SMBIOS_TABLE_HEADER **Record,
                                                OUT EFI_HANDLE *ProducerHandle OPTIONAL);

struct EFI_SMBIOS_PROTOCOL {
  EFI_SMBIOS_ADD Add;
  EFI_SMBIOS_UPDATE_STRING UpdateString;
  EFI_SMBIOS_REMOVE Remove;
  EFI_SMBIOS_GET_NEXT GetNext;
  UINT8 MajorVersion;
  UINT8 MinorVersion;
};
