// EFI_SMM_BASE2_PROTOCOL and the part of the SMM system table the driver uses, from the published layouts.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"
#include "uefi/system_table.h"

#define EFI_SMM_BASE2_PROTOCOL_GUID                                                \
  {                                                                                \
    0xF4CCBFB7, 0xF6E0, 0x47FD, { 0x9D, 0xD4, 0x10, 0xA8, 0xF1, 0x50, 0xC1, 0x91 } \
  }

struct EFI_SMM_SYSTEM_TABLE2;
struct EFI_SMM_BASE2_PROTOCOL;

typedef EFI_STATUS(EFIAPI *EFI_SMM_INSIDE_OUT2)(IN const EFI_SMM_BASE2_PROTOCOL *This, OUT BOOLEAN *InSmram);
typedef EFI_STATUS(EFIAPI *EFI_SMM_GET_SMST_LOCATION2)(IN const EFI_SMM_BASE2_PROTOCOL *This,
                                                       IN OUT EFI_SMM_SYSTEM_TABLE2 **Smst);

struct EFI_SMM_BASE2_PROTOCOL {
  EFI_SMM_INSIDE_OUT2 InSmm;
  EFI_SMM_GET_SMST_LOCATION2 GetSmstLocation;
};

struct EFI_SMM_CPU_IO2_ACCESS {
  EFI_UNTYPED_SERVICE Read;
  EFI_UNTYPED_SERVICE Write;
};

struct EFI_SMM_SYSTEM_TABLE2 {
  EFI_TABLE_HEADER Hdr;
  CHAR16 *SmmFirmwareVendor;
  UINT32 SmmFirmwareRevision;
  EFI_UNTYPED_SERVICE SmmInstallConfigurationTable;
  EFI_SMM_CPU_IO2_ACCESS SmmIoMem;  // SmmIo: memory, then I/O access pairs
  EFI_SMM_CPU_IO2_ACCESS SmmIoIo;
  EFI_ALLOCATE_POOL SmmAllocatePool;
  EFI_FREE_POOL SmmFreePool;
  EFI_UNTYPED_SERVICE SmmAllocatePages;
  EFI_UNTYPED_SERVICE SmmFreePages;
  EFI_UNTYPED_SERVICE SmmStartupThisAp;
  UINTN CurrentlyExecutingCpu;
  UINTN NumberOfCpus;
  UINTN *CpuSaveStateSize;
  VOID **CpuSaveState;
  UINTN NumberOfTableEntries;
  VOID *SmmConfigurationTable;
  EFI_UNTYPED_SERVICE SmmInstallProtocolInterface;
  EFI_UNTYPED_SERVICE SmmUninstallProtocolInterface;
  EFI_UNTYPED_SERVICE SmmHandleProtocol;
  EFI_UNTYPED_SERVICE SmmRegisterProtocolNotify;
  EFI_UNTYPED_SERVICE SmmLocateHandle;
  EFI_UNTYPED_SERVICE SmmLocateProtocol;
  EFI_UNTYPED_SERVICE SmiManage;
  EFI_UNTYPED_SERVICE SmiHandlerRegister;
  EFI_UNTYPED_SERVICE SmiHandlerUnRegister;
};
