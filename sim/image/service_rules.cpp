// Checking a service call's pointer arguments against what the image may reach.
#include "sim/image/service_rules.h"

#include <cstring>

#include "sim/common/hex_text.h"

namespace sim {

namespace {

constexpr uint64_t kLongestScan = 1 << 16;  // strings and records the services read are far shorter

// Bytes up to and including the terminating zero unit of `unit` bytes, read only through `reach`.
std::optional<uint64_t> TerminatedLength(uint64_t address, unsigned unit, const GuestReach& reach,
                                         std::string& problem) {
  for (uint64_t n = 0; n < kLongestScan; n += unit) {
    uint16_t v = 0;
    if (!reach.Read(address + n, &v, unit)) {
      problem = reach.Check(address + n, unit, false) + " before the string ends";
      return std::nullopt;
    }
    if (v == 0) return n + unit;
  }
  problem = "no terminating zero in the first " + std::to_string(kLongestScan) + " bytes";
  return std::nullopt;
}

std::optional<uint64_t> SmbiosRecordLength(uint64_t address, const GuestReach& reach, std::string& problem) {
  uint8_t header[4];
  if (!reach.Read(address, header, sizeof header)) {
    problem = reach.Check(address, sizeof header, false);
    return std::nullopt;
  }
  uint64_t at = address + header[1];
  // The string set: strings one after the other, ended by an empty one (two zeros when there are none).
  for (unsigned strings = 0; at - address < kLongestScan; ++strings) {
    const std::optional<uint64_t> n = TerminatedLength(at, 1, reach, problem);
    if (!n) return std::nullopt;
    at += *n;
    if (*n == 1) {
      if (strings > 0) return at - address;
      uint8_t second = 0;
      if (!reach.Read(at, &second, 1)) {
        problem = reach.Check(at, 1, false) + " before the string set ends";
        return std::nullopt;
      }
      if (second == 0) return at + 1 - address;
    }
  }
  problem = "no end of the string set in the first " + std::to_string(kLongestScan) + " bytes";
  return std::nullopt;
}

unsigned PciWidthBytes(uint64_t width) { return 1u << (width & 3); }

}  // namespace

std::optional<uint64_t> PointerExtent(const PointerRule& rule, const std::function<uint64_t(unsigned)>& argument,
                                      const GuestReach& reach, std::string& problem) {
  const uint64_t p = argument(rule.index);
  switch (rule.extent) {
    case ExtentKind::kFixed: return rule.count;
    case ExtentKind::kArgument: {
      const uint64_t value = argument(static_cast<unsigned>(rule.count));
      return rule.width == 0 || rule.width >= 8 ? value : value & ((uint64_t{1} << (8 * rule.width)) - 1);
    }
    case ExtentKind::kElements: {
      const uint64_t width = argument(rule.width) & 0xFFFFFFFFu;  // the enum is 32 bits wide
      const uint64_t count = width >= 8 && width < 12 ? 1 : argument(static_cast<unsigned>(rule.count));
      const uint64_t bytes = PciWidthBytes(width);
      if (count > UINT64_MAX / bytes) {
        problem = std::to_string(count) + " elements overflow the address space";
        return std::nullopt;
      }
      return count * bytes;
    }
    case ExtentKind::kThroughPointer: {
      uint64_t value = 0;
      const uint64_t at = argument(static_cast<unsigned>(rule.count));
      if (!reach.Read(at, &value, rule.width)) {
        problem = "its size, read through argument " + std::to_string(rule.count) + " at " + Hex(at) + ", is not lent";
        return std::nullopt;
      }
      return value;
    }
    case ExtentKind::kString8: return TerminatedLength(p, 1, reach, problem);
    case ExtentKind::kString16:
      if (p % 2 != 0) {  // the services read it as CHAR16 units, which are 2-byte aligned
        problem = "a UCS-2 string must start on a 2-byte boundary";
        return std::nullopt;
      }
      return TerminatedLength(p, 2, reach, problem);
    case ExtentKind::kSmbiosRecord: return SmbiosRecordLength(p, reach, problem);
    case ExtentKind::kPackageList: {
      uint8_t header[20];
      if (!reach.Read(p, header, sizeof header)) {
        problem = reach.Check(p, sizeof header, false);
        return std::nullopt;
      }
      uint32_t length = 0;
      std::memcpy(&length, header + 16, 4);
      return std::max<uint64_t>(length, sizeof header);
    }
  }
  return std::nullopt;
}

std::string CheckServiceCall(const ServiceRule& rule, const std::function<uint64_t(unsigned)>& argument,
                             const GuestReach& reach,
                             const std::function<bool(uint64_t, const EFI_GUID&)>& is_interface) {
  if (rule.self && !is_interface(argument(0), *rule.self))
    return rule.name + ": argument 0 (This) " + Hex(argument(0)) + " is no interface of the protocol lent to the image";
  for (const PointerRule& pointer : rule.pointers) {
    const uint64_t p = argument(pointer.index);
    if (p == 0 && pointer.optional) continue;
    std::string problem;
    const std::optional<uint64_t> bytes = PointerExtent(pointer, argument, reach, problem);
    if (bytes) problem = reach.Check(p, *bytes, pointer.write);
    // The host service reads or writes its typed value in place, and the calling convention requires natural
    // alignment of what a pointer argument points at.
    if (problem.empty() && p % pointer.align != 0)
      problem = "not " + std::to_string(pointer.align) + "-byte aligned, as the type behind it must be";
    if (problem.empty()) continue;
    std::string what = std::string(pointer.write ? "written" : "read");
    if (bytes) what = std::to_string(*bytes) + (*bytes == 1 ? " byte " : " bytes ") + what;
    return rule.name + ": argument " + std::to_string(pointer.index) + " (" + pointer.name + ", " + what + ") " +
           Hex(p) + ": " + problem;
  }
  return "";
}

}  // namespace sim
