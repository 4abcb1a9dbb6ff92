// Additional Information records: the identity block, the VPD block of 0x1E6D cards with the slot keyword,
// and the VPD reads behind it (timeouts, long images, resources past the VPD space, allocation failures).
#include <gtest/gtest.h>

#include "sim/pci/vpd_image.h"
#include "smbios/records/additional_information.h"
#include "smbios/records/vpd_reader.h"
#include "smbios/services/pool.h"
#include "tests/support/driver_test_platform.h"

namespace {

using driver_test::SlotDriverTest;

constexpr sim::PciLocation kCard{0, 0x17, 0, 0};
constexpr uint16_t kSlotHandle = 0x0042;

std::vector<uint8_t> Identifier(size_t n) {
  std::vector<uint8_t> image = {0x82, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)};
  for (size_t i = 0; i < n; ++i) image.push_back(static_cast<uint8_t>('a' + i % 26));
  return image;
}

std::vector<uint8_t> Append(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<uint8_t> kWritableWithVb = {0x91, 0x08, 0x00, 'Y', 'A', 0x00, 'V', 'B', 0x02, 0xEE, 0xEE};

class AdditionalInformationTest : public SlotDriverTest {
 protected:
  EFI_PCI_IO_PROTOCOL* Card(uint16_t subsystem_vendor, std::optional<std::vector<uint8_t>> vpd, uint64_t delay_us = 20,
                            bool never = false, uint64_t answered_reads = UINT64_MAX) {
    auto spec = sim::EndpointSpec(kCard, 0x7A3B, 0x1593, 0x020000, subsystem_vendor, 0x0A01);
    spec.class_code = 0x020001;
    if (vpd) sim::WithVpd(spec, *vpd, delay_us, never).capabilities.back().vpd.answered_reads = answered_reads;
    pci_ = &Attach({spec});
    return pci_->Instances().InstanceAt(kCard);
  }
  // Publishes and returns the one record.
  sim::SmbiosRecordView Publish(EFI_PCI_IO_PROTOCOL* card, const SlotEntry* slot) {
    EXPECT_EQ(PublishAdditionalInformation(kSlotHandle, card, slot), EFI_SUCCESS);
    auto records = Records();
    EXPECT_EQ(records.size(), 1u);
    return records.empty() ? sim::SmbiosRecordView{} : records[0];
  }
  static std::vector<uint8_t> Vpd(const sim::SmbiosRecordView& r) {
    return {r.bytes.begin() + 0x21, r.bytes.begin() + r.bytes[1]};
  }
  const sim::VpdDevice* VpdDevice() { return pci_->Bus().Find(kCard)->Vpd(); }

  sim::PciPlatform* pci_ = nullptr;
  SlotEntry slot_ = Slot(1, 0, 1);
};

TEST_F(AdditionalInformationTest, EmptySlotCarriesTheFillerIdentity) {
  Attach({});
  auto r = Publish(nullptr, &slot_);
  ASSERT_EQ(r.bytes.size(), 35u) << "33-byte formatted area and two NULs";
  EXPECT_EQ(r.bytes[0], 40);
  EXPECT_EQ(r.bytes[1], 33);
  EXPECT_EQ(r.bytes[4], 1);
  EXPECT_EQ(r.bytes[5], 28);
  EXPECT_EQ(r.bytes[6] | (r.bytes[7] << 8), kSlotHandle);
  EXPECT_EQ(std::string(r.bytes.begin() + 0x0A, r.bytes.begin() + 0x0E), "_AST");
  EXPECT_EQ(r.bytes[0x0E], 1);
  EXPECT_EQ(r.bytes[0x0F], 17);
  for (int i : {0x10, 0x11, 0x12, 0x13, 0x18, 0x19, 0x1A}) EXPECT_EQ(r.bytes[i], 0xFF) << i;
  for (int i = 0x14; i < 0x18; ++i) EXPECT_EQ(r.bytes[i], 0) << i;
  for (int i = 0x1B; i <= 0x20; ++i) EXPECT_EQ(r.bytes[i], 0) << i;
}

// Pci.Read statuses are not examined: a read that fails leaves the identity field as it was pre-filled, the
// filler of a position without a device, never stack bytes.
TEST_F(AdditionalInformationTest, FailedIdentityReadsPublishTheFillerAndReadNoVpd) {
  auto* card = Card(0x1E6D, Append(Identifier(4), {0x78}));
  ASSERT_TRUE(pci_->Instances().FailReads(kCard, {}));
  auto r = Publish(card, &slot_);
  EXPECT_EQ(platform.Calls().Get("PciIo.Pci.Read failed"), 5u) << "dwords 0x00 and 0x2C, bytes 0x0B, 0x0A, 0x09";
  EXPECT_EQ(r.bytes[1], 33);
  for (int i : {0x10, 0x11, 0x12, 0x13, 0x18, 0x19, 0x1A}) EXPECT_EQ(r.bytes[i], 0xFF) << i;
  for (int i = 0x14; i < 0x18; ++i) EXPECT_EQ(r.bytes[i], 0) << i;
  for (int i = 0x1B; i <= 0x20; ++i) EXPECT_EQ(r.bytes[i], 0) << i;
  EXPECT_EQ(VpdDevice()->ReadsStarted(), 0u) << "a failed subsystem read never passes the vendor test";
}

TEST_F(AdditionalInformationTest, AFailedSubsystemReadAloneKeepsTheOtherFieldsAndDecidesAgainstVpd) {
  auto* card = Card(0x1E6D, Append(Identifier(4), {0x78}));
  ASSERT_TRUE(pci_->Instances().FailReads(kCard, {0x2C}));
  auto r = Publish(card, &slot_);
  EXPECT_EQ((std::vector<uint8_t>(r.bytes.begin() + 0x10, r.bytes.begin() + 0x1B)),
            (std::vector<uint8_t>{0x3B, 0x7A, 0x93, 0x15, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01}));
  EXPECT_EQ(r.bytes[1], 33);
  EXPECT_EQ(r.bytes[0x1B], 0) << "no VPD block";
  EXPECT_EQ(VpdDevice()->ReadsStarted(), 0u);
}

TEST_F(AdditionalInformationTest, OtherVendorsAndOnboardDevicesHaveNoVpdBlock) {
  auto* card = Card(0x7A3B, Append(Identifier(4), {0x78}));
  auto r = Publish(card, &slot_);
  EXPECT_EQ(r.bytes[1], 33);
  EXPECT_EQ((std::vector<uint8_t>(r.bytes.begin() + 0x10, r.bytes.begin() + 0x1B)),
            (std::vector<uint8_t>{0x3B, 0x7A, 0x93, 0x15, 0x3B, 0x7A, 0x01, 0x0A, 0x02, 0x00, 0x01}))
      << "IDs, subsystem IDs, then base class, subclass, interface";
  for (int i = 0x1B; i <= 0x20; ++i) EXPECT_EQ(r.bytes[i], 0) << i;
  EXPECT_EQ(VpdDevice()->ReadsStarted(), 0u);
}

TEST_F(AdditionalInformationTest, OnboardDeviceOfTheVpdVendorReadsNoVpd) {
  auto* card = Card(0x1E6D, Append(Identifier(4), {0x78}));
  auto r = Publish(card, nullptr);
  EXPECT_EQ(r.bytes[1], 33);
  EXPECT_EQ(r.bytes[0x1B], 0);
  EXPECT_EQ(VpdDevice()->ReadsStarted(), 0u);
}

TEST_F(AdditionalInformationTest, IdentifierAndEndTagAreAppendedWhole) {
  const size_t n = 9;
  auto image = Append(Identifier(n), {0x78});
  auto r = Publish(Card(0x1E6D, image), &slot_);
  EXPECT_EQ(r.bytes[1], 37 + n);
  EXPECT_EQ(r.bytes[5], 28 + n + 4);
  EXPECT_EQ(std::string(r.bytes.begin() + 0x1B, r.bytes.begin() + 0x1F), "_VPD");
  EXPECT_EQ(r.bytes[0x1F], 1);
  EXPECT_EQ(r.bytes[0x20], 6);
  EXPECT_EQ(Vpd(r), image);
}

// Only the end tag itself (0x78) ends the image and is kept; any other small resource (another small tag, the
// end tag's byte with a length) is an unknown tag: the walk stops before it.
class VpdEndTagTest : public AdditionalInformationTest, public ::testing::WithParamInterface<uint8_t> {};

TEST_P(VpdEndTagTest, OnlyTheEndTagEndsTheImage) {
  const uint8_t tag = GetParam();
  // Read as a large resource, the bytes after the tag would make one of length 1 followed by an end tag.
  auto image = Append(Identifier(4), {tag, 0x01, 0x00, 'z', 0x78});
  auto r = Publish(Card(0x1E6D, image), &slot_);
  const size_t kept = tag == 0x78 ? 8 : 7;
  EXPECT_EQ(Vpd(r), std::vector<uint8_t>(image.begin(), image.begin() + kept));
}

INSTANTIATE_TEST_SUITE_P(SmallResources, VpdEndTagTest, ::testing::Values(0x78, 0x79, 0x7F, 0x70, 0x22, 0x00, 0x0F));

TEST_F(AdditionalInformationTest, VbInTheWritableResourceNamesTheSlot) {
  auto image = Append(Append(Identifier(3), kWritableWithVb), {0x78});
  slot_.SlotNumber = 3;
  slot_.SlotIdHigh = 0x12;
  auto r = Publish(Card(0x1E6D, image), &slot_);
  auto expected = image;
  expected[6 + 9] = 0x12;  // value (SlotNumber << 8 | SlotIdHigh), little-endian
  expected[6 + 10] = 0x03;
  EXPECT_EQ(Vpd(r), expected);
  auto decoded = sim::DecodeVpdImage(Vpd(r));
  ASSERT_EQ(decoded.resources.size(), 2u);
  EXPECT_EQ(decoded.resources[1].keywords[1].data, (std::vector<uint8_t>{0x12, 0x03}));
}

TEST_F(AdditionalInformationTest, OnlyTheFirstFourLargeResourcesAreRead) {
  auto image = Identifier(2);
  for (int i = 0; i < 4; ++i) image = Append(image, Identifier(1));
  image.push_back(0x78);
  auto r = Publish(Card(0x1E6D, image), &slot_);
  EXPECT_EQ(Vpd(r), std::vector<uint8_t>(image.begin(), image.begin() + 5 + 3 * 4));
}

TEST_F(AdditionalInformationTest, VpdThatNeverCompletesTimesOutAndTheRecordHasNoVpdBytes) {
  auto* card = Card(0x1E6D, Append(Identifier(4), {0x78}), 0, true);
  const uint64_t start = platform.Clock().NowMicroseconds();
  auto r = Publish(card, &slot_);
  EXPECT_EQ(r.bytes[1], 33);
  EXPECT_EQ(std::string(r.bytes.begin() + 0x1B, r.bytes.begin() + 0x1F), "_VPD") << "the block stays";
  EXPECT_EQ(platform.Clock().NowMicroseconds() - start, 999u * 10) << "one dword's bounded poll";
  EXPECT_EQ(platform.Calls().Get("Stall"), 999u);
}

TEST_F(AdditionalInformationTest, SlowVpdStillCompletesWithinThePoll) {
  auto image = Append(Identifier(2), {0x78});
  auto r = Publish(Card(0x1E6D, image, 9000), &slot_);
  EXPECT_EQ(Vpd(r), image);
}

TEST_F(AdditionalInformationTest, ImagesLongerThanTheRecordAreCutAtAResourceBoundary) {
  auto image = Append(Append(Identifier(150), Identifier(100)), {0x78});  // 153 + 103 + 1 bytes
  auto r = Publish(Card(0x1E6D, image), &slot_);
  EXPECT_EQ(r.bytes[1], 33 + 153);
  EXPECT_EQ(Vpd(r), std::vector<uint8_t>(image.begin(), image.begin() + 153));
  EXPECT_EQ(sim::DecodeVpdImage(Vpd(r)).stop, "no end tag") << "whole resources only";
}

TEST_F(AdditionalInformationTest, EveryWholeResourceWithinTheRecordIsKept) {
  auto image = Append(Append(Append(Identifier(100), Identifier(100)), Identifier(50)), {0x78});  // 103 + 103 + 53
  auto r = Publish(Card(0x1E6D, image), &slot_);
  EXPECT_EQ(Vpd(r), std::vector<uint8_t>(image.begin(), image.begin() + 206));
}

TEST_F(AdditionalInformationTest, AResourceEndingExactlyAtTheRecordLimitIsKept) {
  auto image = Append(Append(Identifier(MaxRecordVpdBytes - 3), Identifier(10)), {0x78});
  auto r = Publish(Card(0x1E6D, image), &slot_);
  EXPECT_EQ(r.bytes[1], 33 + MaxRecordVpdBytes);
  EXPECT_EQ(Vpd(r), std::vector<uint8_t>(image.begin(), image.begin() + MaxRecordVpdBytes));
}

TEST_F(AdditionalInformationTest, ASingleResourceTooLongForTheRecordIsLeftOut) {
  auto image = Append(Identifier(230), {0x78});
  auto r = Publish(Card(0x1E6D, image), &slot_);
  EXPECT_EQ(r.bytes[1], 33);
  EXPECT_EQ(r.bytes[0x1B], '_');
}

TEST_F(AdditionalInformationTest, ResourcesRunningPastTheVpdSpaceAreNotRead) {
  auto image = Append(Identifier(4), {0x91, 0xFF, 0xFF});  // 64 KiB resource from offset 7
  auto* card = Card(0x1E6D, image);
  auto r = Publish(card, &slot_);
  EXPECT_EQ(Vpd(r), Identifier(4)) << "the walk stops before the resource that leaves the space";
  EXPECT_LE(VpdDevice()->ReadsStarted(), 6u);
}

TEST_F(AdditionalInformationTest, NoWorkBufferPublishesNothing) {
  Attach({});
  platform.FailAllocation(1);
  EXPECT_EQ(PublishAdditionalInformation(kSlotHandle, nullptr, &slot_), EFI_OUT_OF_RESOURCES);
  EXPECT_TRUE(Records().empty());
}

TEST_F(AdditionalInformationTest, NoImageBufferKeepsTheBlockWithoutBytes) {
  auto* card = Card(0x1E6D, Append(Identifier(4), {0x78}));
  platform.FailAllocation(2);  // the work buffer succeeds, the image buffer fails
  auto r = Publish(card, &slot_);
  EXPECT_EQ(r.bytes[1], 33);
  EXPECT_EQ(r.bytes[0x1B], '_');
}

class VpdReaderTest : public AdditionalInformationTest {};

TEST_F(VpdReaderTest, UnalignedStartReadsTheContainingDword) {
  Card(0x1E6D, std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8});
  const UINTN cap = (0x17u << 20) + 0x7C;
  platform.Bus().SetRecording(true);
  UINT8 out[3] = {};
  EXPECT_EQ(ReadVpdBytes(cap, 5, 3, out), EFI_SUCCESS);
  EXPECT_EQ((std::vector<uint8_t>(out, out + 3)), (std::vector<uint8_t>{5, 6, 7}));
  size_t address_writes = 0;
  for (const auto& a : platform.Bus().Recorded()) {
    if (a.write) {
      ++address_writes;
      EXPECT_EQ(a.address, driver_test::kEcam + cap + 2);
      EXPECT_EQ(a.value, 4u);
    }
  }
  EXPECT_EQ(address_writes, 1u);
}

TEST_F(VpdReaderTest, RangesOutsideTheVpdSpaceAreRefusedWithoutTouchingTheDevice) {
  Card(0x1E6D, std::vector<uint8_t>{0});
  UINT8 out[8];
  EXPECT_EQ(ReadVpdBytes((0x17u << 20) + 0x7C, VpdSpaceSize - 2, 4, out), EFI_INVALID_PARAMETER);
  EXPECT_EQ(ReadVpdBytes((0x17u << 20) + 0x7C, VpdSpaceSize + 1, 0, out), EFI_INVALID_PARAMETER);
  EXPECT_EQ(ReadVpdBytes((0x17u << 20) + 0x7C, VpdSpaceSize, 0, out), EFI_SUCCESS) << "nothing to read";
  EXPECT_EQ(VpdDevice()->ReadsStarted(), 0u);
}

TEST_F(VpdReaderTest, ADwordThatNeverCompletesEndsTheReadWithItsTimeout) {
  Card(0x1E6D, Append(Identifier(4), {0x78}), 0, true);
  UINT8 out[8] = {};
  EXPECT_EQ(ReadVpdBytes((0x17u << 20) + 0x7C, 0, 8, out), EFI_TIMEOUT);
  EXPECT_EQ(VpdDevice()->ReadsStarted(), 1u) << "the second dword is never asked for";
}

TEST_F(VpdReaderTest, AResourceFillingTheWholeSpaceIsRead) {
  auto image = Identifier(VpdSpaceSize - 3);
  Card(0x1E6D, image, 0);
  UINT8* read = nullptr;
  UINTN length = 0;
  ASSERT_EQ(ReadVpdImage(0x17, 0, 0, &read, &length), EFI_SUCCESS);
  EXPECT_EQ(std::vector<uint8_t>(read, read + length), image);
  FreeBuffer(read);
}

TEST_F(VpdReaderTest, ImageReadNeedsACapabilityAndANonEmptyImage) {
  Attach({sim::EndpointSpec(kCard, 0x7A3B, 0x1593, 0x020000, 0x1E6D, 1)});
  UINT8* image = nullptr;
  UINTN length = 0;
  EXPECT_EQ(ReadVpdImage(0x17, 0, 0, &image, &length), EFI_NOT_FOUND);
}

TEST_F(VpdReaderTest, ErasedVpdIsNotFound) {
  Card(0x1E6D, std::vector<uint8_t>{});
  UINT8* image = nullptr;
  UINTN length = 0;
  EXPECT_EQ(ReadVpdImage(0x17, 0, 0, &image, &length), EFI_NOT_FOUND);
}

// The walk reads a resource header only when its three bytes lie inside the VPD space: an end tag whose header
// ends exactly at the end of the space is read; one a byte later is not (the image ends before it).
class VpdSpaceEndTest : public AdditionalInformationTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(VpdSpaceEndTest, AHeaderEndingAtTheEndOfTheSpaceIsRead) {
  const size_t end_tag_at = GetParam();
  auto image = Append(Identifier(end_tag_at - 3), {0x78});
  Card(0x1E6D, image, 0);
  UINT8* read = nullptr;
  UINTN length = 0;
  ASSERT_EQ(ReadVpdImage(0x17, 0, 0, &read, &length), EFI_SUCCESS);
  const size_t expected = end_tag_at + 3 <= VpdSpaceSize ? image.size() : end_tag_at;
  EXPECT_EQ(std::vector<uint8_t>(read, read + length), std::vector<uint8_t>(image.begin(), image.begin() + expected));
  FreeBuffer(read);
}

INSTANTIATE_TEST_SUITE_P(LastHeaders, VpdSpaceEndTest, ::testing::Values(VpdSpaceSize - 3, VpdSpaceSize - 2));

// A VPD part that stops answering after some reads. The 13-byte image takes six reads: the two headers (at 0
// and 12) while measuring, then its four dwords. A failed header read ends the measure before that header, so
// the image is 12 bytes long once the first read is answered; a failed data read fails the whole read and
// keeps no buffer (a leak is reported at the end of the test).
struct StoppingPart {
  uint64_t answered_reads;
  EFI_STATUS status;
};
class VpdStopsAnsweringTest : public AdditionalInformationTest, public ::testing::WithParamInterface<StoppingPart> {};

TEST_P(VpdStopsAnsweringTest, OnlyAWhollyAnsweredImageIsHandedOver) {
  const auto image = Append(Identifier(9), {0x78});
  Card(0x1E6D, image, 0, false, GetParam().answered_reads);
  UINT8* read = reinterpret_cast<UINT8*>(&slot_);
  UINTN length = 77;
  ASSERT_EQ(ReadVpdImage(0x17, 0, 0, &read, &length), GetParam().status);
  if (GetParam().status == EFI_SUCCESS) {
    EXPECT_EQ(std::vector<uint8_t>(read, read + length), image);
    FreeBuffer(read);
  } else {
    EXPECT_EQ(read, reinterpret_cast<UINT8*>(&slot_)) << "nothing handed over";
    EXPECT_EQ(length, 77u);
  }
  EXPECT_TRUE(platform.Pool().Leaks().empty());
}

INSTANTIATE_TEST_SUITE_P(Reads, VpdStopsAnsweringTest,
                         ::testing::Values(StoppingPart{0, EFI_NOT_FOUND}, StoppingPart{1, EFI_TIMEOUT},
                                           StoppingPart{2, EFI_TIMEOUT}, StoppingPart{5, EFI_TIMEOUT},
                                           StoppingPart{6, EFI_SUCCESS}));

// The cut of an image to whole resources, on images the measure never hands over as well (truncated
// resources, small resources other than the end tag, bytes after the end tag).
struct CutRow {
  std::vector<uint8_t> image;
  size_t limit;
  size_t kept;
};
class VpdCutTest : public ::testing::TestWithParam<CutRow> {};

TEST_P(VpdCutTest, KeepsTheLongestRunOfWholeResourcesWithinTheLimit) {
  const CutRow& row = GetParam();
  EXPECT_EQ(VpdWholeResourcesWithin(row.image.data(), row.image.size(), row.limit), row.kept);
}

const std::vector<uint8_t> kTwoLarge = {0x82, 2, 0, 'a', 'b', 0x90, 2, 0, 'c', 'd', 0x78};
INSTANTIATE_TEST_SUITE_P(
    Images, VpdCutTest,
    ::testing::Values(CutRow{{}, 100, 0}, CutRow{kTwoLarge, 100, 11}, CutRow{kTwoLarge, 11, 11},
                      CutRow{kTwoLarge, 10, 10}, CutRow{kTwoLarge, 9, 5}, CutRow{kTwoLarge, 5, 5},
                      CutRow{kTwoLarge, 4, 0},
                      CutRow{{0x82, 1, 0, 'a', 0x78, 0xFF, 0xFF}, 100, 5},   // nothing after the end tag
                      CutRow{{0x22, 0xAA, 0xBB, 0x78}, 100, 4},              // a small resource goes on
                      CutRow{{0x82, 0, 0, 0x79, 0x5A, 0x82, 0, 0}, 100, 5},  // end tag with a checksum
                      CutRow{{0x82, 0, 0}, 100, 3},                          // an empty large resource
                      CutRow{{0x82, 2, 0, 'a', 'b'}, 100, 5},                // ends at the image end
                      CutRow{{0x82, 5, 0, 'a', 'b'}, 100, 0},                // body cut short
                      CutRow{{0x82, 1, 0, 'a', 0x90, 0x00}, 100, 4},         // header cut short
                      CutRow{{0x82, 1, 0, 'a', 0x22, 0xAA}, 100, 4}));       // small resource cut short

TEST_F(VpdReaderTest, ImageBufferFailureIsOutOfResources) {
  Card(0x1E6D, Append(Identifier(4), {0x78}));
  platform.FailAllocation(1);
  UINT8* image = nullptr;
  UINTN length = 0;
  EXPECT_EQ(ReadVpdImage(0x17, 0, 0, &image, &length), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(image, nullptr);
}

}  // namespace
