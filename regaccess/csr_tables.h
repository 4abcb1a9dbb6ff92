// Constant data of the CPU CSR rules: box types, the functional-block table and the box type 12 devices.
#pragma once
#include "uefi/base_types.h"

constexpr UINT32 CsrBoxTypeCount = 21;       // box types 0-20
constexpr UINT32 CsrCpuTypeCount = 1;        // CPU types with rules (only type 0)
constexpr UINT32 CsrFunctionBlockCount = 8;  // columns of a FunctionBlockTable row
constexpr UINT8 CsrNoFunction = 0xFF;        // a functional block the box does not have

// Box type numbers (CSR Address bits 24-31); 7, 8, 10 and 11 have no name of their own.
enum CsrBoxType : UINT8 {
  CsrBoxCha0 = 0,
  CsrBoxCha1,        // 1
  CsrBoxCha2,        // 2
  CsrBoxChabc,       // 3
  CsrBoxPcu,         // 4
  CsrBoxVcu,         // 5
  CsrBoxM2mem,       // 6
  CsrBox7,           // 7
  CsrBox8,           // 8
  CsrBoxWzl9,        // 9
  CsrBox10,          // 10
  CsrBox11,          // 11
  CsrBoxWzl12,       // 12
  CsrBoxIioPcieDmi,  // 13
  CsrBoxIioPcie,     // 14
  CsrBoxIioPcieNtb,  // 15
  CsrBoxIioQd,       // 16
  CsrBoxIioVtd,      // 17
  CsrBoxIioDfx,      // 18
  CsrBoxUbox,        // 19
  CsrBoxFpga,        // 20
};
static_assert(CsrBoxFpga == 20 && CsrBoxFpga + 1 == CsrBoxTypeCount, "box types 0-20");

// Per CPU type, per box type: the function of each index (the functional block for most box types).
inline constexpr UINT8 FunctionBlockTable[CsrCpuTypeCount][CsrBoxTypeCount][CsrFunctionBlockCount] = {{
    {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},  // 0
    {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},  // 1
    {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},  // 2
    {0, 1, 2, 3, 0xFF, 0xFF, 0xFF, 0xFF},           // 3
    {0, 1, 2, 3, 4, 5, 6, 7},                       // 4
    {0, 1, 2, 3, 4, 5, 6, 7},                       // 5
    {0, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},     // 6
    {0, 4, 0, 0, 4, 0, 0xFF, 0xFF},                 // 7
    {0, 2, 4, 0, 2, 4, 0xFF, 0xFF},                 // 8
    {0, 1, 2, 3, 0xFF, 0xFF, 0xFF, 0xFF},           // 9
    {0, 1, 2, 3, 0xFF, 0xFF, 0xFF, 0xFF},           // 10
    {2, 6, 2, 2, 6, 2, 0xFF, 0xFF},                 // 11
    {0, 1, 3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},        // 12
    {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},  // 13
    {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},  // 14
    {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},  // 15
    {0, 1, 2, 3, 4, 5, 6, 7},                       // 16
    {0, 1, 2, 4, 5, 6, 0xFF, 0xFF},                 // 17
    {0, 0, 7, 7, 4, 4, 0xFF, 0xFF},                 // 18
    {0, 1, 2, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},        // 19
    {0, 0, 0, 0, 0, 0, 0, 0},                       // 20
}};
static_assert(sizeof(FunctionBlockTable) == 168 * CsrCpuTypeCount, "168 bytes per CPU type");

// Device number of box type 12 by instance 0-4.
inline constexpr UINT8 Box12DeviceTable[5] = {22, 21, 22, 23, 21};
constexpr UINT32 Box12InstanceCount = sizeof(Box12DeviceTable);

// FunctionBlockTable entry, or CsrNoFunction for a CPU type, box type or index outside the table.
constexpr UINT8 FunctionBlockEntry(UINT32 CpuType, UINT32 BoxType, UINT32 Index) {
  if (CpuType >= CsrCpuTypeCount || BoxType >= CsrBoxTypeCount || Index >= CsrFunctionBlockCount) {
    return CsrNoFunction;
  }
  return FunctionBlockTable[CpuType][BoxType][Index];
}
