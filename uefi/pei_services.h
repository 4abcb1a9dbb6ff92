// PI PEI services table and PPI descriptor, in their published member order.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"
#include "uefi/system_table.h"

struct EFI_PEI_PPI_DESCRIPTOR {
  UINTN Flags;
  EFI_GUID *Guid;
  VOID *Ppi;
};
static_assert(sizeof(EFI_PEI_PPI_DESCRIPTOR) == 3 * sizeof(VOID *), "flags, GUID pointer, PPI pointer");

struct EFI_PEI_SERVICES;

typedef EFI_STATUS(EFIAPI *EFI_PEI_INSTALL_PPI)(IN const EFI_PEI_SERVICES **PeiServices,
                                                IN const EFI_PEI_PPI_DESCRIPTOR *PpiList);
typedef EFI_STATUS(EFIAPI *EFI_PEI_LOCATE_PPI)(IN const EFI_PEI_SERVICES **PeiServices, IN const EFI_GUID *Guid,
                                               IN UINTN Instance, OUT EFI_PEI_PPI_DESCRIPTOR **PpiDescriptor OPTIONAL,
                                               OUT VOID **Ppi);

struct EFI_PEI_SERVICES {
  EFI_TABLE_HEADER Hdr;
  // PPI functions
  EFI_PEI_INSTALL_PPI InstallPpi;
  EFI_UNTYPED_SERVICE ReInstallPpi;
  EFI_PEI_LOCATE_PPI LocatePpi;
  EFI_UNTYPED_SERVICE NotifyPpi;
  // Boot mode
  EFI_UNTYPED_SERVICE GetBootMode;
  EFI_UNTYPED_SERVICE SetBootMode;
  // HOB
  EFI_UNTYPED_SERVICE GetHobList;
  EFI_UNTYPED_SERVICE CreateHob;
  // Firmware volumes
  EFI_UNTYPED_SERVICE FfsFindNextVolume;
  EFI_UNTYPED_SERVICE FfsFindNextFile;
  EFI_UNTYPED_SERVICE FfsFindSectionData;
  // Memory
  EFI_UNTYPED_SERVICE InstallPeiMemory;
  EFI_UNTYPED_SERVICE AllocatePages;
  EFI_UNTYPED_SERVICE AllocatePool;
  EFI_UNTYPED_SERVICE CopyMem;
  EFI_UNTYPED_SERVICE SetMem;
  // Status code
  EFI_UNTYPED_SERVICE ReportStatusCode;
  // Reset
  EFI_UNTYPED_SERVICE ResetSystem;
  // I/O abstractions
  VOID *CpuIo;
  VOID *PciCfg;
  // Future installed services
  EFI_UNTYPED_SERVICE FfsFindFileByName;
  EFI_UNTYPED_SERVICE FfsGetFileInfo;
  EFI_UNTYPED_SERVICE FfsGetVolumeInfo;
  EFI_UNTYPED_SERVICE RegisterForShadow;
  EFI_UNTYPED_SERVICE FindSectionData3;
  EFI_UNTYPED_SERVICE FfsGetFileInfo2;
  EFI_UNTYPED_SERVICE ResetSystem2;
  EFI_UNTYPED_SERVICE FreePages;
};
// Services counted after the 24-byte header in pointers: InstallPpi 0x18, LocatePpi 0x20 on IA-32.
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, InstallPpi) == 24 &&
                  __builtin_offsetof(EFI_PEI_SERVICES, ReInstallPpi) == 24 + sizeof(VOID *) &&
                  __builtin_offsetof(EFI_PEI_SERVICES, LocatePpi) == 24 + 2 * sizeof(VOID *) &&
                  __builtin_offsetof(EFI_PEI_SERVICES, PciCfg) == 24 + 19 * sizeof(VOID *),
              "PEI services at their published positions");

#define PEI_SERVICES_SIGNATURE 0x5652455320494550ull  // "PEI SERV"

typedef EFI_STATUS(EFIAPI *EFI_PEIM_ENTRY_POINT)(IN VOID *FileHandle, IN const EFI_PEI_SERVICES **PeiServices);
