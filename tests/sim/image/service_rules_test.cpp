// Pointer arguments of services checked against lent memory: each kind of extent at its bound and one past it.
#include "sim/image/service_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// 64 lent bytes; argument values are offsets into them (or a raw value) as each row says.
struct Row {
  const char* what;
  std::vector<uint8_t> bytes;  // the start of the lent memory
  sim::PointerRule rule;
  std::vector<uint64_t> arguments;  // argument i; the pointer argument is an offset into the lent bytes
  bool allowed;
  const char* problem;  // part of the refusal
};

class ServiceRules : public ::testing::TestWithParam<Row> {};

TEST_P(ServiceRules, ChecksThePointerOverTheBytesItCovers) {
  const Row& row = GetParam();
  alignas(16) uint8_t memory[64] = {};
  if (!row.bytes.empty()) std::memcpy(memory, row.bytes.data(), row.bytes.size());
  sim::GuestReach reach;
  const uint64_t base = reinterpret_cast<uintptr_t>(memory);
  reach.Lend(base, sizeof memory, true, "the buffer");
  std::vector<uint64_t> args = row.arguments;
  args[row.rule.index] += base;
  if (row.rule.extent == sim::ExtentKind::kThroughPointer) args[row.rule.count] += base;
  const sim::ServiceRule rule("Test.Service", {row.rule});
  const std::string refusal = sim::CheckServiceCall(
      rule, [&](unsigned i) { return i < args.size() ? args[i] : 0; }, reach,
      [](uint64_t, const EFI_GUID&) { return false; });
  if (row.allowed) {
    EXPECT_EQ(refusal, "") << row.what;
  } else {
    EXPECT_NE(refusal.find(row.problem), std::string::npos) << row.what << ": " << refusal;
    EXPECT_EQ(refusal.rfind("Test.Service: argument ", 0), 0u) << refusal;
  }
}

using sim::ExtentKind;
const std::vector<uint8_t> kRecord = {0x80, 4, 0xFE, 0xFF, 'A', 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Extents, ServiceRules,
    ::testing::Values(
        Row{"fixed, at the end", {}, sim::In(0, "P", 16), {48}, true, ""},
        Row{"fixed, one past", {}, sim::In(0, "P", 16), {49}, false, "of the range lies in nothing"},
        Row{"a scalar on its own alignment", {}, sim::Out(0, "P", 8), {56}, true, ""},
        Row{"a scalar one byte off its alignment", {}, sim::Out(0, "P", 8), {9}, false, "not 8-byte aligned"},
        Row{"a 4-byte scalar on a 2-byte boundary", {}, sim::In(0, "P", 4), {2}, false, "not 4-byte aligned"},
        Row{"a 2-byte scalar at an odd address", {}, sim::Out(0, "P", 2), {33}, false, "not 2-byte aligned"},
        Row{"a structure on its members' alignment", {}, sim::In(0, "P", 16, false, 4), {4}, true, ""},
        Row{"a structure off its members' alignment",
            {},
            sim::In(0, "P", 16, false, 4),
            {6},
            false,
            "not 4-byte aligned"},
        Row{"a byte buffer anywhere", {}, sim::In(0, "P", 3), {61}, true, ""},
        Row{"sized by an argument", {}, sim::Sized(0, "P", true, 1), {0, 64}, true, ""},
        Row{"sized by an argument, one past", {}, sim::Sized(0, "P", true, 1), {0, 65}, false, "(P, 65 bytes written)"},
        Row{"a byte-wide size argument uses its low byte",
            {},
            sim::Sized(0, "P", false, 1, false, 1),
            {0, 0xFFFFFF40},
            true,
            ""},
        Row{"PCI elements", {}, {0, "Buffer", true, false, ExtentKind::kElements, 2, 1}, {0, 2, 16}, true, ""},
        Row{"PCI elements, one more",
            {},
            {0, "Buffer", true, false, ExtentKind::kElements, 2, 1},
            {0, 2, 17},
            false,
            "68 bytes"},
        Row{"PCI fill: one element",
            {},
            {0, "Buffer", true, false, ExtentKind::kElements, 2, 1},
            {60, 10, 1000},
            true,
            ""},
        Row{"PCI elements that overflow",
            {},
            {0, "Buffer", true, false, ExtentKind::kElements, 2, 1},
            {0, 3, uint64_t{1} << 62},
            false,
            "overflow"},
        Row{"size through a pointer", {8}, sim::Through(1, "Data", true, 0, 8), {0, 56}, true, ""},
        Row{"size through a pointer, one past",
            {9},
            sim::Through(1, "Data", true, 0, 8),
            {0, 56},
            false,
            "lies in nothing"},
        Row{"an ASCII string", {'a', 'b', 0}, sim::Text(0, "S", ExtentKind::kString8), {0}, true, ""},
        Row{"an ASCII string to the last byte", {}, sim::Text(0, "S", ExtentKind::kString8), {63}, true, ""},
        Row{"a UCS-2 string", {'a', 0, 0, 0}, sim::Text(0, "S", ExtentKind::kString16), {0}, true, ""},
        Row{"a UCS-2 string at an odd address",
            {0, 'a', 0, 0, 0},
            sim::Text(0, "S", ExtentKind::kString16),
            {1},
            false,
            "2-byte boundary"},
        Row{"an SMBIOS record", kRecord, sim::Text(0, "R", ExtentKind::kSmbiosRecord), {0}, true, ""},
        Row{"an SMBIOS record without strings",
            {0x80, 4, 0, 0, 0, 0},
            sim::Text(0, "R", ExtentKind::kSmbiosRecord),
            {0},
            true,
            ""},
        Row{"an HII package list", {}, sim::Text(0, "L", ExtentKind::kPackageList), {0}, true, ""},
        Row{"an HII package list longer than its memory",
            {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 65},
            sim::Text(0, "L", ExtentKind::kPackageList),
            {0},
            false,
            "(L, 65 bytes read)"}));

TEST(ServiceRulesAtTheEdge, AStringOrRecordRunningOutOfLentMemoryIsRefused) {
  uint8_t memory[6] = {0x80, 4, 0xFE, 0xFF, 'A', 'B'};  // no terminator before the end
  sim::GuestReach reach;
  reach.Lend(reinterpret_cast<uintptr_t>(memory), sizeof memory, false, "the record");
  const uint64_t p = reinterpret_cast<uintptr_t>(memory);
  const auto argument = [&](unsigned) { return p; };
  const auto never = [](uint64_t, const EFI_GUID&) { return false; };
  const sim::ServiceRule record("Smbios.Add", {sim::Text(0, "Record", ExtentKind::kSmbiosRecord)});
  EXPECT_NE(sim::CheckServiceCall(record, argument, reach, never).find("before the string ends"), std::string::npos);
  const sim::ServiceRule text("Test.String", {sim::Text(0, "S", ExtentKind::kString8)});
  EXPECT_NE(sim::CheckServiceCall(text, argument, reach, never).find("before the string ends"), std::string::npos);
}

TEST(ServiceRulesAtTheEdge, ThisMustBeAnInterfaceOfTheRulesProtocol) {
  sim::GuestReach reach;
  sim::ServiceRule rule("Smbios.Remove", {});
  rule.self = EFI_GUID{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  const auto is_interface = [](uint64_t address, const EFI_GUID&) { return address == 0x1000; };
  EXPECT_EQ(sim::CheckServiceCall(
                rule, [](unsigned) { return uint64_t{0x1000}; }, reach, is_interface),
            "");
  EXPECT_NE(sim::CheckServiceCall(
                rule, [](unsigned) { return uint64_t{0x1008}; }, reach, is_interface)
                .find("argument 0 (This) 0x1008 is no interface"),
            std::string::npos);
}

}  // namespace
