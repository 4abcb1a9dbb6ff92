// Fixed positions in the first 128 bytes of a power supply's FRU image, as the BMC returns them in chunks.
#pragma once
#include "uefi/base_types.h"

constexpr UINTN FruImageSize = 128;
constexpr UINTN FruChunkSize = 32;
constexpr UINT8 FruChunkCount = 4;

constexpr UINTN FruProductAreaStart = 24;  // Product Info Area: 64 bytes summing to 0 when valid
constexpr UINTN FruProductAreaLength = 64;
constexpr UINTN FruFieldWalkStart = 28;        // first byte of the Manufacturer Name data
constexpr UINTN FruMultiRecordChecksum = 91;   // record checksum of the first MultiRecord
constexpr UINTN FruMultiRecordDataStart = 93;  // Power Supply Information record data
constexpr UINTN FruMultiRecordDataLength = 24;
constexpr UINTN FruOverallCapacity = 93;  // u16, little-endian
