// Rewriting "VB" in a VPD image's writable resource: only that keyword's first two data bytes change, and
// nothing outside the image is read or written.
#include <gtest/gtest.h>

#include <vector>

#include "smbios/records/vpd_slot_keyword.h"
#include "uefi/status.h"

namespace {

SlotEntry SlotNumbered(uint8_t number, uint16_t high = 0) {
  SlotEntry e{};
  e.SlotNumber = number;
  e.SlotIdHigh = high;
  return e;
}

EFI_STATUS Patch(std::vector<uint8_t>& image, const SlotEntry& slot) {
  return PatchVpdSlotKeyword(&slot, image.data(), image.size());
}

TEST(VpdSlotKeyword, WritesSlotNumberIntoTheSecondByteAndLeavesTheRest) {
  std::vector<uint8_t> image = {0x82, 0x01, 0x00, 'X',  0x91, 0x0A, 0x00, 'Y',  'A', 0x01,
                                'z',  'V',  'B',  0x04, 0xAA, 0xBB, 0xCC, 0xDD, 0x78};
  auto expected = image;
  expected[14] = 0x00;
  expected[15] = 0x04;
  EXPECT_EQ(Patch(image, SlotNumbered(4)), EFI_SUCCESS);
  EXPECT_EQ(image, expected) << "exactly two data bytes of VB changed";
}

TEST(VpdSlotKeyword, SmallResourcesAreSkippedAndTheEndTagStopsTheWalk) {
  std::vector<uint8_t> skip = {0x22, 0xEE, 0xEE, 0x91, 0x05, 0x00, 'V', 'B', 0x02, 0x00, 0x00};
  EXPECT_EQ(Patch(skip, SlotNumbered(2)), EFI_SUCCESS);
  EXPECT_EQ(skip[10], 0x02);
  std::vector<uint8_t> ended = {0x78, 0x91, 0x05, 0x00, 'V', 'B', 0x02, 0x00, 0x00};
  auto before = ended;
  EXPECT_EQ(Patch(ended, SlotNumbered(2)), EFI_NOT_FOUND);
  EXPECT_EQ(ended, before);
}

TEST(VpdSlotKeyword, VbOutsideTheWritableResourceIsNotTouched) {
  std::vector<uint8_t> image = {0x90, 0x05, 0x00, 'V', 'B', 0x02, 0x11, 0x22, 0x91, 0x03, 0x00, 'Y', 'A', 0x00, 0x78};
  auto before = image;
  EXPECT_EQ(Patch(image, SlotNumbered(1)), EFI_NOT_FOUND);
  EXPECT_EQ(image, before);
  // VB in the read-only resource after the writable one: the walk ends at the writable resource's own length.
  std::vector<uint8_t> after = {0x82, 0x01, 0x00, 'X', 0x91, 0x03, 0x00, 'Y',  'A', 0x00,
                                0x90, 0x05, 0x00, 'V', 'B',  0x02, 0x11, 0x22, 0x78};
  before = after;
  EXPECT_EQ(Patch(after, SlotNumbered(1)), EFI_NOT_FOUND);
  EXPECT_EQ(after, before);
}

TEST(VpdSlotKeyword, OnlyTheExactNameVbIsRewritten) {
  std::vector<uint8_t> image = {0x91, 0x0F, 0x00, 'V', 'C', 0x02, 0x11, 0x22, 'X', 'B',
                                0x02, 0x33, 0x44, 'V', 'B', 0x02, 0x55, 0x66, 0x78};
  auto expected = image;
  expected[16] = 0x01;
  expected[17] = 0x05;
  EXPECT_EQ(Patch(image, SlotNumbered(5, 1)), EFI_SUCCESS);
  EXPECT_EQ(image, expected);
}

TEST(VpdSlotKeyword, AKeywordRunningPastItsResourceEndsTheWalk) {
  // YA claims three data bytes but the resource ends after two; VB after it lies outside the resource.
  std::vector<uint8_t> image = {0x91, 0x05, 0x00, 'Y', 'A', 0x03, 0x00, 0x00, 0x00, 'V', 'B', 0x02, 0x11, 0x22, 0x78};
  auto before = image;
  EXPECT_EQ(Patch(image, SlotNumbered(1)), EFI_NOT_FOUND);
  EXPECT_EQ(image, before);
}

TEST(VpdSlotKeyword, NoSlotOrNoImageFindsNothing) {
  std::vector<uint8_t> image = {0x91, 0x05, 0x00, 'V', 'B', 0x02, 0x00, 0x00};
  auto before = image;
  EXPECT_EQ(PatchVpdSlotKeyword(nullptr, image.data(), image.size()), EFI_NOT_FOUND);
  EXPECT_EQ(image, before);
  SlotEntry slot = SlotNumbered(1);
  EXPECT_EQ(PatchVpdSlotKeyword(&slot, nullptr, 0), EFI_NOT_FOUND);
}

TEST(VpdSlotKeyword, ShortOrCutKeywordDataIsNotRewritten) {
  std::vector<uint8_t> one_byte = {0x91, 0x07, 0x00, 'V', 'B', 0x01, 0x55, 'Y', 'A', 0x00, 0x99};
  auto before = one_byte;
  EXPECT_EQ(Patch(one_byte, SlotNumbered(1)), EFI_NOT_FOUND);
  EXPECT_EQ(one_byte, before) << "the next keyword's header stays intact";

  // The resource claims more than the image holds and VB's data sits at the very end: one byte is there.
  std::vector<uint8_t> cut = {0x91, 0x40, 0x00, 'V', 'B', 0x02, 0x55};
  before = cut;
  EXPECT_EQ(Patch(cut, SlotNumbered(1)), EFI_NOT_FOUND);
  EXPECT_EQ(cut, before);
}

TEST(VpdSlotKeyword, TruncatedHeadersAndEmptyImagesFindNothing) {
  std::vector<uint8_t> header = {0x82, 0x01};
  EXPECT_EQ(Patch(header, SlotNumbered(1)), EFI_NOT_FOUND);
  std::vector<uint8_t> keyword_header = {0x91, 0x02, 0x00, 'V', 'B'};
  EXPECT_EQ(Patch(keyword_header, SlotNumbered(1)), EFI_NOT_FOUND);
  std::vector<uint8_t> empty;
  EXPECT_EQ(Patch(empty, SlotNumbered(1)), EFI_NOT_FOUND);
  // Walks that end exactly at the image's end without an end tag: nothing past the image is read.
  for (std::vector<uint8_t> image : {std::vector<uint8_t>{0x01, 0xAA}, std::vector<uint8_t>{0x82, 0x01, 0x00, 'x'}}) {
    const std::vector<uint8_t> before = image;
    EXPECT_EQ(Patch(image, SlotNumbered(1)), EFI_NOT_FOUND);
    EXPECT_EQ(image, before);
  }
}

}  // namespace
