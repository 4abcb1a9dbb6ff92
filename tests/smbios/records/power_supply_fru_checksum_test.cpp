// The FRU image checksums: a built image passes, one changed byte in either summed area fails.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "smbios/records/power_supply_fru_checksum.h"
#include "tests/smbios/records/records_test_platform.h"

namespace {

TEST(PowerSupplyFruChecksum, BuiltImagePassesAndOneChangedByteInEitherAreaFails) {
  std::vector<uint8_t> image = records_test::Fru(records_test::Fields("A"));
  EXPECT_TRUE(FruImageValid(image.data()));
  image[40] ^= 1;
  EXPECT_FALSE(FruProductAreaValid(image.data()));
  EXPECT_TRUE(FruMultiRecordValid(image.data()));
  image[40] ^= 1;
  image[110] ^= 1;
  EXPECT_FALSE(FruMultiRecordValid(image.data()));
  EXPECT_FALSE(FruImageValid(image.data()));
  image[110] ^= 1;
  image[92] ^= 1;  // the MultiRecord header checksum is not part of either sum
  EXPECT_TRUE(FruImageValid(image.data()));
  // Nor are the bytes just before and just after either summed area.
  for (size_t outside : {23u, 88u, 117u}) image[outside] ^= 0x5A;
  EXPECT_TRUE(FruProductAreaValid(image.data()));
  EXPECT_TRUE(FruMultiRecordValid(image.data()));
}

}  // namespace
