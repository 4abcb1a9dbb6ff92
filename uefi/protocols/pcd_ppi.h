// The PCD PPI: platform configuration values by token number, in its published member order.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"

inline constexpr EFI_GUID gPcdPpiGuid = {0x06E81C58, 0x4AD7, 0x44BC, {0x83, 0x90, 0xF1, 0x02, 0x65, 0xF7, 0x24, 0x80}};

typedef VOID(EFIAPI *PCD_PPI_SET_SKU)(IN UINTN SkuId);
typedef UINT8(EFIAPI *PCD_PPI_GET8)(IN UINTN TokenNumber);
typedef UINT16(EFIAPI *PCD_PPI_GET16)(IN UINTN TokenNumber);
typedef UINT32(EFIAPI *PCD_PPI_GET32)(IN UINTN TokenNumber);
typedef UINT64(EFIAPI *PCD_PPI_GET64)(IN UINTN TokenNumber);
typedef VOID *(EFIAPI *PCD_PPI_GET_POINTER)(IN UINTN TokenNumber);
typedef BOOLEAN(EFIAPI *PCD_PPI_GET_BOOLEAN)(IN UINTN TokenNumber);
typedef UINTN(EFIAPI *PCD_PPI_GET_SIZE)(IN UINTN TokenNumber);

// Services the project does not call keep their slot as an untyped pointer.
typedef VOID *PCD_PPI_UNTYPED_SERVICE;

struct PCD_PPI {
  PCD_PPI_SET_SKU SetSku;
  PCD_PPI_GET8 Get8;
  PCD_PPI_GET16 Get16;
  PCD_PPI_GET32 Get32;
  PCD_PPI_GET64 Get64;
  PCD_PPI_GET_POINTER GetPtr;
  PCD_PPI_GET_BOOLEAN GetBool;
  PCD_PPI_GET_SIZE GetSize;
  // Values of a named token space
  PCD_PPI_UNTYPED_SERVICE Get8Ex;
  PCD_PPI_UNTYPED_SERVICE Get16Ex;
  PCD_PPI_UNTYPED_SERVICE Get32Ex;
  PCD_PPI_UNTYPED_SERVICE Get64Ex;
  PCD_PPI_UNTYPED_SERVICE GetPtrEx;
  PCD_PPI_UNTYPED_SERVICE GetBoolEx;
  PCD_PPI_UNTYPED_SERVICE GetSizeEx;
  // Setters
  PCD_PPI_UNTYPED_SERVICE Set8;
  PCD_PPI_UNTYPED_SERVICE Set16;
  PCD_PPI_UNTYPED_SERVICE Set32;
  PCD_PPI_UNTYPED_SERVICE Set64;
  PCD_PPI_UNTYPED_SERVICE SetPtr;
  PCD_PPI_UNTYPED_SERVICE SetBool;
  PCD_PPI_UNTYPED_SERVICE Set8Ex;
  PCD_PPI_UNTYPED_SERVICE Set16Ex;
  PCD_PPI_UNTYPED_SERVICE Set32Ex;
  PCD_PPI_UNTYPED_SERVICE Set64Ex;
  PCD_PPI_UNTYPED_SERVICE SetPtrEx;
  PCD_PPI_UNTYPED_SERVICE SetBoolEx;
  // Callbacks and token enumeration
  PCD_PPI_UNTYPED_SERVICE CallbackOnSet;
  PCD_PPI_UNTYPED_SERVICE CancelCallback;
  PCD_PPI_UNTYPED_SERVICE GetNextToken;
  PCD_PPI_UNTYPED_SERVICE GetNextTokenSpace;
};
static_assert(__builtin_offsetof(PCD_PPI, Get64) == 4 * sizeof(VOID *), "Get64 is the fifth function");
static_assert(__builtin_offsetof(PCD_PPI, GetPtr) == 5 * sizeof(VOID *), "GetPtr is the sixth function");

#define EFI_PEI_PPI_DESCRIPTOR_PPI 0x00000010u
#define EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST 0x80000000u
