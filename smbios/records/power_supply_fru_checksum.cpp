// Checksums of a power-supply FRU image: the Product Info Area and the first MultiRecord's data.
#include "smbios/records/power_supply_fru_checksum.h"

#include "smbios/records/power_supply_fru_layout.h"

namespace {

UINT8 ByteSum(const UINT8 *Bytes, UINTN Length) {
  UINT8 sum = 0;
  for (UINTN i = 0; i < Length; ++i) sum = static_cast<UINT8>(sum + Bytes[i]);
  return sum;
}

}  // namespace

BOOLEAN FruProductAreaValid(const UINT8 *Image) {
  return ByteSum(Image + FruProductAreaStart, FruProductAreaLength) == 0 ? TRUE : FALSE;
}

BOOLEAN FruMultiRecordValid(const UINT8 *Image) {
  UINT8 sum = static_cast<UINT8>(Image[FruMultiRecordChecksum] +
                                 ByteSum(Image + FruMultiRecordDataStart, FruMultiRecordDataLength));
  return sum == 0 ? TRUE : FALSE;
}

BOOLEAN FruImageValid(const UINT8 *Image) {
  return (FruProductAreaValid(Image) && FruMultiRecordValid(Image)) ? TRUE : FALSE;
}
