// The pointer arguments of a platform service as the image runner checks them: for each, which argument, how
// many bytes the service reads or writes through it, and whether null is allowed; a call whose pointer leaves
// what the image may reach is refused before the host runs the service.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/image/guest_reach.h"
#include "uefi/guid.h"

namespace sim {

// How the size of the bytes behind a pointer argument is known.
enum class ExtentKind {
  kFixed,           // `count` bytes
  kArgument,        // as many bytes as argument `count` says (its low `width` bytes; 0: all eight)
  kElements,        // argument `count` elements of the PCI I/O width in argument `width` (one for the Fill widths)
  kThroughPointer,  // as many bytes as the `width`-byte value argument `count` points at holds
  kString8,         // a NUL-terminated ASCII string
  kString16,        // a NUL-terminated UCS-2 string
  kSmbiosRecord,    // an SMBIOS record: formatted area of the header's length, then its string set
  kPackageList,     // an HII package list: the length its header gives
};

struct PointerRule {
  unsigned index;    // argument position, from 0
  const char* name;  // the argument's name in the prototype
  bool write;        // the service writes through it (otherwise it only reads)
  bool optional;     // null is allowed (and then not checked)
  ExtentKind extent;
  uint64_t count = 0;
  unsigned width = 0;
  unsigned align = 1;  // the alignment of the type the service reads or writes through it
};

// The alignment of a scalar of `bytes` bytes (1, 2, 4, 8), or 1 for anything else (a buffer).
constexpr unsigned NaturalAlignment(uint64_t bytes) {
  return bytes == 2 || bytes == 4 || bytes == 8 ? static_cast<unsigned>(bytes) : 1;
}

// Rules by the size of what the pointer covers: fixed, an argument, a value another argument points at (`width`
// bytes), a string or record read in place. A fixed extent is a scalar aligned to its size unless `align` says
// otherwise (a structure: the alignment of its largest member).
inline PointerRule In(unsigned index, const char* name, uint64_t bytes, bool optional = false, unsigned align = 0) {
  return {index, name, false, optional, ExtentKind::kFixed, bytes, 0, align != 0 ? align : NaturalAlignment(bytes)};
}
inline PointerRule Out(unsigned index, const char* name, uint64_t bytes, bool optional = false, unsigned align = 0) {
  return {index, name, true, optional, ExtentKind::kFixed, bytes, 0, align != 0 ? align : NaturalAlignment(bytes)};
}
inline PointerRule Sized(unsigned index, const char* name, bool write, unsigned size_argument, bool optional = false,
                         unsigned size_width = 0) {
  return {index, name, write, optional, ExtentKind::kArgument, size_argument, size_width};
}
inline PointerRule Through(unsigned index, const char* name, bool write, unsigned size_pointer, unsigned width,
                           bool optional = false) {
  return {index, name, write, optional, ExtentKind::kThroughPointer, size_pointer, width};
}
inline PointerRule Text(unsigned index, const char* name, ExtentKind kind, bool optional = false) {
  return {index, name, false, optional, kind};
}

// What the platform lends after a call that succeeds, from the call's own results.
enum class AfterCall {
  kNothing,
  kLendInterface,   // the interface written through argument `out` for the GUID argument `guid`
  kLendSmst,        // the SMM system table written through argument `out`
  kLendPcdPointer,  // the returned PCD value buffer of the token in argument 0
};

struct ServiceRule {
  ServiceRule() = default;
  ServiceRule(std::string service, std::vector<PointerRule> checked)
      : name(std::move(service)), pointers(std::move(checked)) {}
  std::string name;
  std::vector<PointerRule> pointers;
  std::optional<EFI_GUID> self;  // argument 0 (This) must be an interface of this protocol lent to the image
  AfterCall after = AfterCall::kNothing;
  unsigned guid = 0, out = 0;
};

// Empty when every pointer argument of the call lies in what `reach` lends, aligned as its type requires (This an
// interface of the rule's protocol, as `is_interface` says); otherwise "SERVICE: argument N (Name) ADDRESS: problem".
std::string CheckServiceCall(const ServiceRule& rule, const std::function<uint64_t(unsigned)>& argument,
                             const GuestReach& reach,
                             const std::function<bool(uint64_t, const EFI_GUID&)>& is_interface);

// The bytes a pointer argument covers; empty with `problem` set when they cannot be known inside what is lent
// (a string or record running out of it).
std::optional<uint64_t> PointerExtent(const PointerRule& rule, const std::function<uint64_t(unsigned)>& argument,
                                      const GuestReach& reach, std::string& problem);

}  // namespace sim
