// The record the driver hands to the platform callback registry to have PublishBoardSmbios called.
#pragma once
#include "uefi/base_types.h"

constexpr UINT32 CallbackRegistrationSignature = 0x424D5350;  // "PSMB" read as a little-endian u32
constexpr UINT32 CallbackRegistrationVersion = 1;
constexpr UINT32 CallbackRegistrationValue = 21;  // interpreted by the registry

#pragma pack(push, 1)
struct CallbackRegistration {
  UINT32 Signature;
  UINT32 Version;
  UINT32 Value;
  UINT32 Reserved;  // zero
  UINT64 Callback;  // address of PublishBoardSmbios
};
#pragma pack(pop)
static_assert(sizeof(CallbackRegistration) == 24, "CallbackRegistration is 24 bytes");
