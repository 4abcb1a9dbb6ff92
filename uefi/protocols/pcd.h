// PCD protocol (dynamic platform configuration values by token number), from the published layout.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"

#define PCD_PROTOCOL_GUID                                                          \
  {                                                                                \
    0x11B34006, 0xD85B, 0x4D0A, { 0xA2, 0x90, 0xD5, 0xA5, 0x71, 0x31, 0x0E, 0xF7 } \
  }

typedef VOID(EFIAPI *PCD_PROTOCOL_SET_SKU)(IN UINTN SkuId);
typedef UINT8(EFIAPI *PCD_PROTOCOL_GET8)(IN UINTN TokenNumber);
typedef UINT16(EFIAPI *PCD_PROTOCOL_GET16)(IN UINTN TokenNumber);
typedef UINT32(EFIAPI *PCD_PROTOCOL_GET32)(IN UINTN TokenNumber);
typedef UINT64(EFIAPI *PCD_PROTOCOL_GET64)(IN UINTN TokenNumber);
typedef VOID *(EFIAPI *PCD_PROTOCOL_GET_POINTER)(IN UINTN TokenNumber);
typedef BOOLEAN(EFIAPI *PCD_PROTOCOL_GET_BOOLEAN)(IN UINTN TokenNumber);
typedef UINTN(EFIAPI *PCD_PROTOCOL_GET_SIZE)(IN UINTN TokenNumber);
typedef VOID *PCD_PROTOCOL_UNTYPED;

struct PCD_PROTOCOL {
  PCD_PROTOCOL_SET_SKU SetSku;
  PCD_PROTOCOL_GET8 Get8;
  PCD_PROTOCOL_GET16 Get16;
  PCD_PROTOCOL_GET32 Get32;
  PCD_PROTOCOL_GET64 Get64;
  PCD_PROTOCOL_GET_POINTER GetPtr;
  PCD_PROTOCOL_GET_BOOLEAN GetBool;
  PCD_PROTOCOL_GET_SIZE GetSize;
  // Token-space (Ex) getters, setters and callbacks; not called by the driver.
  PCD_PROTOCOL_UNTYPED Get8Ex;
  PCD_PROTOCOL_UNTYPED Get16Ex;
  PCD_PROTOCOL_UNTYPED Get32Ex;
  PCD_PROTOCOL_UNTYPED Get64Ex;
  PCD_PROTOCOL_UNTYPED GetPtrEx;
  PCD_PROTOCOL_UNTYPED GetBoolEx;
  PCD_PROTOCOL_UNTYPED GetSizeEx;
  PCD_PROTOCOL_UNTYPED Set8;
  PCD_PROTOCOL_UNTYPED Set16;
  PCD_PROTOCOL_UNTYPED Set32;
  PCD_PROTOCOL_UNTYPED Set64;
  PCD_PROTOCOL_UNTYPED SetPtr;
  PCD_PROTOCOL_UNTYPED SetBool;
  PCD_PROTOCOL_UNTYPED Set8Ex;
  PCD_PROTOCOL_UNTYPED Set16Ex;
  PCD_PROTOCOL_UNTYPED Set32Ex;
  PCD_PROTOCOL_UNTYPED Set64Ex;
  PCD_PROTOCOL_UNTYPED SetPtrEx;
  PCD_PROTOCOL_UNTYPED SetBoolEx;
  PCD_PROTOCOL_UNTYPED CallbackOnSet;
  PCD_PROTOCOL_UNTYPED CancelCallback;
  PCD_PROTOCOL_UNTYPED GetNextToken;
  PCD_PROTOCOL_UNTYPED GetNextTokenSpace;
};
