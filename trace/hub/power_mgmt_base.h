// The power-management controller (PCI 0:31.2) as the trace-hub output sees it: presence, the base of its
// power-management MMIO region, and the trace-hub disable bit in that region.
#pragma once
#include "regaccess/register_address.h"
#include "uefi/base_types.h"

// The PMC's configuration space for RegisterGetAddress: PcieConfig, 32-bit, segment 0, 0:31.2, offset 0.
inline constexpr RegisterAddress PmcConfigRecord = {0x000FA000, 0, 0x00000200, 0};

constexpr UINT32 PmcVendorIdOffset = 0x00;       // 16-bit; 0xFFFF when no PMC answers
constexpr UINT32 PmcPowerMgmtBaseOffset = 0x48;  // 32-bit; the base is its upper 16 bits
constexpr UINT32 PmcPowerMgmtBaseMask = 0xFFFF0000;
constexpr UINT32 PmcTraceHubDisableOffset = 0x5D0;  // byte in the PM region; bit 0 set: trace hub not used
constexpr UINT8 PmcTraceHubDisableBit = 0x01;

// *Base := the PMC's power-management MMIO base. EFI_INVALID_PARAMETER for a null Base, EFI_UNSUPPORTED
// when no PMC answers (vendor ID 0xFFFF; *Base is then left alone), else EFI_SUCCESS.
EFI_STATUS ReadPowerMgmtBase(UINT32 *Base);
