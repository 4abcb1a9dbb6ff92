// EFI system table, boot-services and runtime-services tables, in their published member order.
// Services the project calls carry full prototypes; the others keep their slot as an untyped pointer.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"

typedef VOID *EFI_UNTYPED_SERVICE;

struct EFI_TABLE_HEADER {
  UINT64 Signature;
  UINT32 Revision;
  UINT32 HeaderSize;
  UINT32 CRC32;
  UINT32 Reserved;
};
static_assert(sizeof(EFI_TABLE_HEADER) == 24, "table header is 24 bytes");

enum EFI_MEMORY_TYPE : UINT32 {
  EfiReservedMemoryType = 0,
  EfiLoaderCode = 1,
  EfiLoaderData = 2,
  EfiBootServicesCode = 3,
  EfiBootServicesData = 4,
  EfiRuntimeServicesCode = 5,
  EfiRuntimeServicesData = 6,
  EfiMaxMemoryType = 15,
};

enum EFI_LOCATE_SEARCH_TYPE : UINT32 {
  AllHandles = 0,
  ByRegisterNotify = 1,
  ByProtocol = 2,
};

struct EFI_TIME {
  UINT16 Year;
  UINT8 Month;
  UINT8 Day;
  UINT8 Hour;
  UINT8 Minute;
  UINT8 Second;
  UINT8 Pad1;
  UINT32 Nanosecond;
  INT16 TimeZone;
  UINT8 Daylight;
  UINT8 Pad2;
};
static_assert(sizeof(EFI_TIME) == 16, "EFI_TIME is 16 bytes");
static_assert(__builtin_offsetof(EFI_TIME, Month) == 2 && __builtin_offsetof(EFI_TIME, Minute) == 5 &&
                  __builtin_offsetof(EFI_TIME, Nanosecond) == 8 && __builtin_offsetof(EFI_TIME, TimeZone) == 12 &&
                  __builtin_offsetof(EFI_TIME, Daylight) == 14,
              "EFI_TIME fields at their published offsets");

// Variable attributes.
#define EFI_VARIABLE_NON_VOLATILE 0x00000001u
#define EFI_VARIABLE_BOOTSERVICE_ACCESS 0x00000002u
#define EFI_VARIABLE_RUNTIME_ACCESS 0x00000004u

typedef EFI_STATUS(EFIAPI *EFI_ALLOCATE_POOL)(IN EFI_MEMORY_TYPE PoolType, IN UINTN Size, OUT VOID **Buffer);
typedef EFI_STATUS(EFIAPI *EFI_FREE_POOL)(IN VOID *Buffer);
typedef EFI_STATUS(EFIAPI *EFI_INSTALL_PROTOCOL_INTERFACE)(IN OUT EFI_HANDLE *Handle, IN EFI_GUID *Protocol,
                                                           IN UINT32 InterfaceType, IN VOID *Interface);
typedef EFI_STATUS(EFIAPI *EFI_HANDLE_PROTOCOL)(IN EFI_HANDLE Handle, IN EFI_GUID *Protocol, OUT VOID **Interface);
typedef EFI_STATUS(EFIAPI *EFI_STALL)(IN UINTN Microseconds);
typedef EFI_STATUS(EFIAPI *EFI_LOCATE_HANDLE_BUFFER)(IN EFI_LOCATE_SEARCH_TYPE SearchType,
                                                     IN EFI_GUID *Protocol OPTIONAL, IN VOID *SearchKey OPTIONAL,
                                                     OUT UINTN *NoHandles, OUT EFI_HANDLE **Buffer);
typedef EFI_STATUS(EFIAPI *EFI_LOCATE_PROTOCOL)(IN EFI_GUID *Protocol, IN VOID *Registration OPTIONAL,
                                                OUT VOID **Interface);

struct EFI_BOOT_SERVICES {
  EFI_TABLE_HEADER Hdr;
  // Task priority
  EFI_UNTYPED_SERVICE RaiseTPL;
  EFI_UNTYPED_SERVICE RestoreTPL;
  // Memory
  EFI_UNTYPED_SERVICE AllocatePages;
  EFI_UNTYPED_SERVICE FreePages;
  EFI_UNTYPED_SERVICE GetMemoryMap;
  EFI_ALLOCATE_POOL AllocatePool;
  EFI_FREE_POOL FreePool;
  // Events and timers
  EFI_UNTYPED_SERVICE CreateEvent;
  EFI_UNTYPED_SERVICE SetTimer;
  EFI_UNTYPED_SERVICE WaitForEvent;
  EFI_UNTYPED_SERVICE SignalEvent;
  EFI_UNTYPED_SERVICE CloseEvent;
  EFI_UNTYPED_SERVICE CheckEvent;
  // Protocol handlers
  EFI_INSTALL_PROTOCOL_INTERFACE InstallProtocolInterface;
  EFI_UNTYPED_SERVICE ReinstallProtocolInterface;
  EFI_UNTYPED_SERVICE UninstallProtocolInterface;
  EFI_HANDLE_PROTOCOL HandleProtocol;
  VOID *Reserved;
  EFI_UNTYPED_SERVICE RegisterProtocolNotify;
  EFI_UNTYPED_SERVICE LocateHandle;
  EFI_UNTYPED_SERVICE LocateDevicePath;
  EFI_UNTYPED_SERVICE InstallConfigurationTable;
  // Images
  EFI_UNTYPED_SERVICE LoadImage;
  EFI_UNTYPED_SERVICE StartImage;
  EFI_UNTYPED_SERVICE Exit;
  EFI_UNTYPED_SERVICE UnloadImage;
  EFI_UNTYPED_SERVICE ExitBootServices;
  // Miscellaneous
  EFI_UNTYPED_SERVICE GetNextMonotonicCount;
  EFI_STALL Stall;
  EFI_UNTYPED_SERVICE SetWatchdogTimer;
  // Driver support
  EFI_UNTYPED_SERVICE ConnectController;
  EFI_UNTYPED_SERVICE DisconnectController;
  // Open and close protocol
  EFI_UNTYPED_SERVICE OpenProtocol;
  EFI_UNTYPED_SERVICE CloseProtocol;
  EFI_UNTYPED_SERVICE OpenProtocolInformation;
  // Library
  EFI_UNTYPED_SERVICE ProtocolsPerHandle;
  EFI_LOCATE_HANDLE_BUFFER LocateHandleBuffer;
  EFI_LOCATE_PROTOCOL LocateProtocol;
  EFI_UNTYPED_SERVICE InstallMultipleProtocolInterfaces;
  EFI_UNTYPED_SERVICE UninstallMultipleProtocolInterfaces;
  // CRC
  EFI_UNTYPED_SERVICE CalculateCrc32;
  // Miscellaneous
  EFI_UNTYPED_SERVICE CopyMem;
  EFI_UNTYPED_SERVICE SetMem;
  EFI_UNTYPED_SERVICE CreateEventEx;
};

typedef EFI_STATUS(EFIAPI *EFI_GET_TIME)(OUT EFI_TIME *Time, OUT VOID *Capabilities OPTIONAL);
typedef EFI_STATUS(EFIAPI *EFI_GET_VARIABLE)(IN CHAR16 *VariableName, IN EFI_GUID *VendorGuid,
                                             OUT UINT32 *Attributes OPTIONAL, IN OUT UINTN *DataSize,
                                             OUT VOID *Data OPTIONAL);
typedef EFI_STATUS(EFIAPI *EFI_SET_VARIABLE)(IN CHAR16 *VariableName, IN EFI_GUID *VendorGuid, IN UINT32 Attributes,
                                             IN UINTN DataSize, IN VOID *Data);

struct EFI_RUNTIME_SERVICES {
  EFI_TABLE_HEADER Hdr;
  // Time
  EFI_GET_TIME GetTime;
  EFI_UNTYPED_SERVICE SetTime;
  EFI_UNTYPED_SERVICE GetWakeupTime;
  EFI_UNTYPED_SERVICE SetWakeupTime;
  // Virtual memory
  EFI_UNTYPED_SERVICE SetVirtualAddressMap;
  EFI_UNTYPED_SERVICE ConvertPointer;
  // Variables
  EFI_GET_VARIABLE GetVariable;
  EFI_UNTYPED_SERVICE GetNextVariableName;
  EFI_SET_VARIABLE SetVariable;
  // Miscellaneous
  EFI_UNTYPED_SERVICE GetNextHighMonotonicCount;
  EFI_UNTYPED_SERVICE ResetSystem;
  // Capsules
  EFI_UNTYPED_SERVICE UpdateCapsule;
  EFI_UNTYPED_SERVICE QueryCapsuleCapabilities;
  // Variable information
  EFI_UNTYPED_SERVICE QueryVariableInfo;
};

// Service positions, counted after the 24-byte header in pointers (4 or 8 bytes).
#define EFI_SERVICE_SLOT(N) (24 + (N) * sizeof(VOID *))
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, AllocatePool) == EFI_SERVICE_SLOT(5), "AllocatePool is service 5");
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, FreePool) == EFI_SERVICE_SLOT(6), "FreePool is service 6");
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, HandleProtocol) == EFI_SERVICE_SLOT(16),
              "HandleProtocol is service 16");
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, Stall) == EFI_SERVICE_SLOT(28), "Stall is service 28");
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, LocateHandleBuffer) == EFI_SERVICE_SLOT(36),
              "LocateHandleBuffer is 36");
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, LocateProtocol) == EFI_SERVICE_SLOT(37),
              "LocateProtocol is service 37");
static_assert(sizeof(EFI_BOOT_SERVICES) == EFI_SERVICE_SLOT(44), "boot services: 44 services");
static_assert(__builtin_offsetof(EFI_RUNTIME_SERVICES, GetTime) == EFI_SERVICE_SLOT(0), "GetTime is service 0");
static_assert(__builtin_offsetof(EFI_RUNTIME_SERVICES, GetVariable) == EFI_SERVICE_SLOT(6), "GetVariable is service 6");
static_assert(__builtin_offsetof(EFI_RUNTIME_SERVICES, SetVariable) == EFI_SERVICE_SLOT(8), "SetVariable is service 8");
static_assert(sizeof(EFI_RUNTIME_SERVICES) == EFI_SERVICE_SLOT(14), "runtime services: 14 services");

struct EFI_CONFIGURATION_TABLE {
  EFI_GUID VendorGuid;
  VOID *VendorTable;
};

struct EFI_SYSTEM_TABLE {
  EFI_TABLE_HEADER Hdr;
  CHAR16 *FirmwareVendor;
  UINT32 FirmwareRevision;
  EFI_HANDLE ConsoleInHandle;
  VOID *ConIn;
  EFI_HANDLE ConsoleOutHandle;
  VOID *ConOut;
  EFI_HANDLE StandardErrorHandle;
  VOID *StdErr;
  EFI_RUNTIME_SERVICES *RuntimeServices;
  EFI_BOOT_SERVICES *BootServices;
  UINTN NumberOfTableEntries;
  EFI_CONFIGURATION_TABLE *ConfigurationTable;
};
// Every member after the header is pointer-sized or padded to it: 88/96/120 on x64, 56/60/72 on IA-32.
static_assert(__builtin_offsetof(EFI_SYSTEM_TABLE, RuntimeServices) == EFI_SERVICE_SLOT(8), "runtime services pointer");
static_assert(__builtin_offsetof(EFI_SYSTEM_TABLE, BootServices) == EFI_SERVICE_SLOT(9), "boot services pointer");
static_assert(sizeof(EFI_SYSTEM_TABLE) == EFI_SERVICE_SLOT(12), "system table size");
#undef EFI_SERVICE_SLOT

#define EFI_SYSTEM_TABLE_SIGNATURE 0x5453595320494249ull      // "IBI SYST"
#define EFI_BOOT_SERVICES_SIGNATURE 0x56524553544f4f42ull     // "BOOTSERV"
#define EFI_RUNTIME_SERVICES_SIGNATURE 0x56524553544e5552ull  // "RUNTSERV"

typedef EFI_STATUS(EFIAPI *EFI_IMAGE_ENTRY_POINT)(IN EFI_HANDLE ImageHandle, IN EFI_SYSTEM_TABLE *SystemTable);
