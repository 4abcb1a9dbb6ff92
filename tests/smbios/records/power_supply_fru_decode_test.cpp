// Decoding FRU bytes into the record's strings, the placeholder, and the assembled record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "smbios/records/power_supply_fru_decode.h"
#include "smbios/records/power_supply_record_assembly.h"
#include "tests/smbios/records/records_test_platform.h"
#include "uefi/status.h"

namespace {

// An image whose field walk (from offset 28) sees exactly `walk`; byte 27 is the Manufacturer's type/length.
std::vector<uint8_t> ImageWithWalk(std::initializer_list<std::vector<uint8_t>> parts, uint16_t capacity = 500) {
  std::vector<uint8_t> image(128, 0);
  size_t at = 28;
  for (const auto& part : parts) {
    for (uint8_t b : part) image.at(at++) = b;
  }
  image[93] = static_cast<uint8_t>(capacity);
  image[94] = static_cast<uint8_t>(capacity >> 8);
  return image;
}

std::vector<uint8_t> Text(const std::string& s) { return {s.begin(), s.end()}; }
std::vector<uint8_t> TypeLength(const std::string& s) { return {static_cast<uint8_t>(0xC0 | s.size())}; }
// A whole field: its type/length byte, then its text.
std::vector<uint8_t> Field(const std::string& s) {
  std::vector<uint8_t> bytes = TypeLength(s);
  bytes.insert(bytes.end(), s.begin(), s.end());
  return bytes;
}

struct Decoded {
  CHAR8 scratch[512];
  PowerSupplyDescription description;
  UINT8 record[512];
  std::vector<std::string> strings;  // the record's string set
  std::vector<std::string> fields;   // per string field, "(none)" for string number 0
};

constexpr uint8_t kUntouched = 0xCC;  // the record buffer's bytes before the assembly

// Assembles into a buffer of kUntouched bytes: the formatted area must be written in full, the string set must
// end in its double NUL, and no byte after it may change.
void Assemble(Decoded& d, UINT8 supply) {
  std::fill(std::begin(d.record), std::end(d.record), kUntouched);
  ASSERT_EQ(AssemblePowerSupplyRecord(&d.description, supply, d.record, sizeof(d.record)), EFI_SUCCESS);
  const auto* r = reinterpret_cast<const PowerSupplyRecord*>(d.record);
  EXPECT_EQ(r->Header.Type, 39);
  EXPECT_EQ(r->Header.Length, 0x16);
  EXPECT_EQ(r->Header.Handle, 0);
  EXPECT_EQ(r->PowerUnitGroup, supply);
  EXPECT_EQ(r->InputVoltageProbeHandle, 0xFFFF);
  EXPECT_EQ(r->CoolingDeviceHandle, 0xFFFF);
  EXPECT_EQ(r->InputCurrentProbeHandle, 0xFFFF);
  size_t at = 0x16;
  while (at < sizeof(d.record) && d.record[at] != 0) {
    std::string s;
    while (at < sizeof(d.record) && d.record[at] != 0 && d.record[at] != kUntouched)
      s += static_cast<char>(d.record[at++]);
    ASSERT_LT(at, sizeof(d.record));
    ASSERT_EQ(d.record[at], 0) << "string " << d.strings.size() + 1 << " is not ended";
    d.strings.push_back(s);
    ++at;
  }
  ASSERT_LT(at + 1, sizeof(d.record));
  if (d.strings.empty()) {
    ASSERT_EQ(d.record[at + 1], 0) << "a set without strings ends in two NULs";
    ++at;
  }
  for (size_t i = at + 1; i < sizeof(d.record); ++i) ASSERT_EQ(d.record[i], kUntouched) << "byte " << i;
  for (int i = 0; i < 7; ++i) {
    UINT8 n = d.record[5 + i];
    d.fields.push_back(n == 0 ? "(none)" : n <= d.strings.size() ? d.strings[n - 1] : "(bad index)");
  }
}

Decoded Decode(const std::vector<uint8_t>& image, UINT8 supply = 1) {
  Decoded d;
  DecodePowerSupplyFru(image.data(), supply, d.scratch, sizeof(d.scratch), &d.description);
  Assemble(d, supply);
  return d;
}

using Fields = std::vector<std::string>;  // Location, Device Name, Manufacturer, Serial, Asset Tag, Model, Revision

TEST(PowerSupplyFruDecode, UsualFieldOrderWithEmptyAssetTag) {
  auto d = Decode(ImageWithWalk({Text("ACME"), Field("PS800"), Field("P-01"), Field("A1"), Field("SN123"), {0xC0}}), 2);
  EXPECT_EQ(d.fields, (Fields{"PSU2", "PS800", "ACME", "SN123", "N/A", "P-01", "A1"}));
  EXPECT_EQ(d.description.MaxPowerCapacity, 500);
  EXPECT_EQ(d.description.Characteristics, 0x11A2);
}

TEST(PowerSupplyFruDecode, LongTypeLengthByteIsSkippedAndItsTextJoinsTheCurrentString) {
  auto d = Decode(
      ImageWithWalk({Text("AB"), {0xE5}, Text("CD"), Field("XY"), Field("PN"), Field("V1"), Field("S1"), {0xC0}}));
  EXPECT_EQ(d.fields[2], "ABCD");
  EXPECT_EQ(d.fields[1], "XY");
}

TEST(PowerSupplyFruDecode, EmptyFieldInTheMiddleKeepsTheLaterFieldsInPlace) {
  // Part/Model Number empty: "N/A" stands for it, and Version and Serial keep their own strings. The empty
  // field counts as one of the five, so the walk ends at the Asset Tag's type/length byte.
  auto d = Decode(ImageWithWalk({Text("ACME"), Field("PS"), {0xC0}, Field("A1"), Field("SN"), Field("TAG"), {0xC1}}));
  EXPECT_EQ(d.fields, (Fields{"PSU1", "PS", "ACME", "SN", "(none)", "N/A", "A1"}));
}

TEST(PowerSupplyFruDecode, TwoEmptyFieldsInARowAreTwoStrings) {
  auto d = Decode(ImageWithWalk({Text("ACME"), {0xC0}, {0xC0}, Field("A1"), Field("SN"), {0xC0}}));
  EXPECT_EQ(d.fields, (Fields{"PSU1", "N/A", "ACME", "SN", "N/A", "N/A", "A1"}));
}

// A type/length byte right after another (a field without its data) is an empty string, published as "N/A".
TEST(PowerSupplyFruDecode, AFieldWithoutDataAfterAnEmptyOneIsAnEmptyString) {
  auto d = Decode(ImageWithWalk({{0xC0}, {0xC2}, {0xC2}, Text("V1"), Field("SN"), {0xC0}}));
  EXPECT_EQ(d.fields, (Fields{"PSU1", "N/A", "N/A", "SN", "N/A", "N/A", "V1"}));
}

// Type/length bytes 0xC2 to 0xDF are ASCII fields of 2 to 31 characters: the longest one ends its field too.
TEST(PowerSupplyFruDecode, ThirtyOneCharacterFieldIsAFieldOfItsOwn) {
  const std::string longest(31, 'L');
  auto d = Decode(ImageWithWalk({Text("ACME"), Field(longest), Field("PN"), Field("V1"), Field("SN"), {0xC0}}));
  EXPECT_EQ(d.fields, (Fields{"PSU1", longest, "ACME", "SN", "N/A", "PN", "V1"}));
}

// The walk's first byte an empty field (manufacturer and device name both empty): both are "N/A".
TEST(PowerSupplyFruDecode, EmptyFirstFieldOfTheWalkIsNotAvailable) {
  auto d = Decode(ImageWithWalk({{0xC0}, Field("PN"), Field("V1"), Field("SN"), {0xC0}}));
  EXPECT_EQ(d.fields, (Fields{"PSU1", "N/A", "N/A", "SN", "N/A", "PN", "V1"}));
  for (const auto& s : d.strings) EXPECT_FALSE(s.empty());
}

TEST(PowerSupplyFruDecode, EmptyManufacturerIsPublishedAsNotAvailableNotAsAnEmptyString) {
  auto d = Decode(ImageWithWalk({Field("PS"), Field("PN"), Field("V1"), Field("SN"), {0xC0}}));
  EXPECT_EQ(d.fields, (Fields{"PSU1", "PS", "N/A", "SN", "N/A", "PN", "V1"}));
  for (const auto& s : d.strings) EXPECT_FALSE(s.empty());
}

TEST(PowerSupplyFruDecode, NulDataByteEndsTheStringWithoutAnEmptyOneAfterIt) {
  auto d = Decode(ImageWithWalk({Text("AC"), {0x00}, Field("PS"), Field("PN"), Field("V1"), Field("SN"), {0xC0}}));
  EXPECT_EQ(d.fields, (Fields{"PSU1", "PS", "AC", "SN", "N/A", "PN", "V1"}));
}

TEST(PowerSupplyFruDecode, WalkEndsAtTheMultiRecordDataWhenFieldsRunOut) {
  // No type/length byte at all: the bytes up to offset 92 form one string, cut to 63 characters.
  std::vector<uint8_t> image(128, 'x');
  auto d = Decode(image);
  EXPECT_EQ(d.fields[2], std::string(63, 'x'));
  EXPECT_EQ(d.fields[1], "(none)");
  EXPECT_EQ(d.fields[3], "(none)");
}

// The walk stops before the MultiRecord data: the capacity's low byte (here 'A') never joins a string.
TEST(PowerSupplyFruDecode, TheLastStringEndsBeforeTheCapacity) {
  auto d = Decode(
      ImageWithWalk({Text("AC"), Field("PS"), Field("PN"), Field("V1"), {0xDF}, Text(std::string(53, 's'))}, 0x0141));
  EXPECT_EQ(d.fields, (Fields{"PSU1", "PS", "AC", std::string(53, 's'), "(none)", "PN", "V1"}));
  EXPECT_EQ(d.description.MaxPowerCapacity, 0x0141);
}

TEST(PowerSupplyFruDecode, AllZeroImageGivesNoEmptyStrings) {
  auto d = Decode(std::vector<uint8_t>(128, 0));
  EXPECT_EQ(d.fields[0], "PSU1");
  EXPECT_EQ(d.fields[2], "N/A");
  for (const auto& s : d.strings) EXPECT_FALSE(s.empty());
  EXPECT_EQ(d.description.MaxPowerCapacity, 0);
}

TEST(PowerSupplyFruDecode, PlaceholderHasSixCopiesOfTheOemString) {
  Decoded d;
  DescribePlaceholderPowerSupply(2, d.scratch, sizeof(d.scratch), &d.description);
  Assemble(d, 2);
  EXPECT_EQ(d.fields, (Fields{"PSU2", "To be filled by O.E.M.", "To be filled by O.E.M.", "To be filled by O.E.M.",
                              "To be filled by O.E.M.", "To be filled by O.E.M.", "To be filled by O.E.M."}));
  EXPECT_EQ(d.strings.size(), 7u);
  const auto* r = reinterpret_cast<const PowerSupplyRecord*>(d.record);
  EXPECT_EQ(r->Header.Type, 39);
  EXPECT_EQ(r->PowerUnitGroup, 2);
  EXPECT_EQ(r->MaxPowerCapacity, 0x8000);
  EXPECT_EQ(r->Characteristics, 0x0910);
}

// Text that does not fit the scratch list is dropped: the list keeps room for its two closing NULs and no
// byte past its capacity is written.
TEST(PowerSupplyFruDecode, TextBeyondTheScratchCapacityIsDropped) {
  std::vector<uint8_t> image(128, 'x');
  CHAR8 scratch[72];
  std::fill(std::begin(scratch), std::end(scratch), static_cast<CHAR8>(0x5A));
  PowerSupplyDescription description;
  DecodePowerSupplyFru(image.data(), 1, scratch, 64, &description);
  EXPECT_EQ(description.Used, 62u);
  std::string expected = std::string("PSU1", 5) + std::string(57, 'x') + std::string(2, '\0') + std::string(8, 'Z');
  EXPECT_EQ(std::string(scratch, sizeof(scratch)), expected);
}

TEST(PowerSupplyRecordAssembly, RecordBufferTooSmallIsRefused) {
  Decoded d;
  DescribePlaceholderPowerSupply(1, d.scratch, sizeof(d.scratch), &d.description);
  // The worst case: the formatted area, seven strings of 63 characters with their NULs, the final NUL.
  for (UINTN capacity : {0u, 100u, 470u}) {
    std::fill(std::begin(d.record), std::end(d.record), kUntouched);
    EXPECT_EQ(AssemblePowerSupplyRecord(&d.description, 1, d.record, capacity), EFI_BUFFER_TOO_SMALL) << capacity;
    EXPECT_EQ(std::count(std::begin(d.record), std::end(d.record), kUntouched), 512) << capacity;
  }
  EXPECT_EQ(AssemblePowerSupplyRecord(&d.description, 1, d.record, 471), EFI_SUCCESS);
}

// A field naming 0, the string just past the list or one far beyond it gets no string.
TEST(PowerSupplyRecordAssembly, RecordWithNoStringsEndsInTwoNuls) {
  for (UINT8 number : {0, 3, 9}) {
    Decoded d;
    DescribePlaceholderPowerSupply(1, d.scratch, sizeof(d.scratch), &d.description);  // two scratch strings
    for (UINT8& n : d.description.FieldString) n = number;
    Assemble(d, 1);
    EXPECT_TRUE(d.strings.empty()) << +number;
    EXPECT_EQ(d.fields, Fields(7, "(none)")) << +number;
  }
}

// The list ends at Used: a last string without its NUL stops there, whatever the bytes after it hold.
TEST(PowerSupplyRecordAssembly, LastScratchStringEndsAtTheBytesWritten) {
  Decoded d;
  const char text[] = "PSU1\0ABCDEF";
  std::copy(std::begin(text), std::end(text), d.scratch);
  d.description = PowerSupplyDescription{d.scratch, sizeof(d.scratch), 8, {1, 2, 0, 0, 0, 0, 0}, 100, 0x11A2};
  Assemble(d, 1);
  EXPECT_EQ(d.strings, (Fields{"PSU1", "ABC"}));
  EXPECT_EQ(d.fields, (Fields{"PSU1", "ABC", "(none)", "(none)", "(none)", "(none)", "(none)"}));
}

}  // namespace
