// The whole-file captures: the sizes each takes, at each bound and one past it, and the function description
// decoded from captured configuration bytes.
#include "sim/board/captures/binary_captures.h"

#include <gtest/gtest.h>

#include "sim/board/captures/capture_error.h"
#include "tests/sim/board/captures/capture_texts.h"

namespace {

struct SizeRow {
  const char* what;
  size_t size;
  bool accepted;
};

void Check(const SizeRow& row) {
  const std::vector<uint8_t> bytes(row.size, 0x01);
  bool accepted = true;
  try {
    if (std::string(row.what) == "config") sim::CapturedFunction({}, bytes, "");
    if (std::string(row.what) == "vpd") sim::CheckVpdCapture(bytes);
    if (std::string(row.what) == "fru") sim::CheckFruImage(bytes);
  } catch (const sim::CaptureError& e) {
    accepted = false;
    EXPECT_FALSE(e.Fix().empty());
  }
  EXPECT_EQ(accepted, row.accepted) << row.what << " of " << row.size << " bytes";
}

class CaptureSizes : public ::testing::TestWithParam<SizeRow> {};
TEST_P(CaptureSizes, AtTheBoundAndPastIt) { Check(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Rows, CaptureSizes,
    ::testing::Values(SizeRow{"config", 0, false}, SizeRow{"config", 63, false}, SizeRow{"config", 64, true},
                      SizeRow{"config", 65, false}, SizeRow{"config", 255, false}, SizeRow{"config", 256, true},
                      SizeRow{"config", 257, false}, SizeRow{"config", 4095, false}, SizeRow{"config", 4096, true},
                      SizeRow{"config", 4097, false}, SizeRow{"vpd", 0, true}, SizeRow{"vpd", 32768, true},
                      SizeRow{"vpd", 32769, false}, SizeRow{"fru", 127, false}, SizeRow{"fru", 128, true},
                      SizeRow{"fru", 65536, true}, SizeRow{"fru", 65537, false}));

TEST(CapturedFunction, IdentityAndBridgeBusesComeFromTheBytes) {
  std::vector<uint8_t> bytes = capture_test::Space(256, 0x8086, 0xA110, 1, 0x18, 0x1B, 0x17);
  bytes[0x08] = 0x10;
  bytes[0x0E] = 0x81;  // multi-function bridge
  const sim::PciFunctionSpec spec = sim::CapturedFunction({0, 0x17, 2, 0}, bytes, "f:3");
  EXPECT_EQ(spec.vendor_id, 0x8086);
  EXPECT_EQ(spec.device_id, 0xA110);
  EXPECT_EQ(spec.revision, 0x10);
  EXPECT_EQ(spec.class_code, 0x060400u);
  EXPECT_EQ(spec.header_type, 1);
  EXPECT_TRUE(spec.IsBridge());
  EXPECT_EQ(spec.secondary_bus, 0x18);
  EXPECT_EQ(spec.subordinate_bus, 0x1B);
  EXPECT_EQ(spec.origin, "f:3");
  ASSERT_TRUE(spec.captured.has_value());
  EXPECT_EQ(spec.captured->bytes, bytes);
  EXPECT_TRUE(spec.capabilities.empty());
  std::vector<uint8_t> endpoint = capture_test::Space(64, 0x15B3, 0x1017);
  endpoint[0x2C] = 0x34, endpoint[0x2D] = 0x12;
  const sim::PciFunctionSpec card = sim::CapturedFunction({}, endpoint, "");
  EXPECT_EQ(card.subsystem_vendor_id, 0x1234);
  EXPECT_FALSE(card.IsBridge());
  EXPECT_EQ(card.secondary_bus, 0);
}

}  // namespace
