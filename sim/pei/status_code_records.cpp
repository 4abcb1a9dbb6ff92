// Status-code data records in a below-4-GiB arena clear of the platform's windows, built byte by byte.
#include "sim/pei/status_code_records.h"

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/common/host_pages.h"

namespace sim {

const EFI_GUID kDebugInfoRecordGuid = {0x9A4E9246, 0xD553, 0x11D5, {0x87, 0xE2, 0x00, 0x06, 0x29, 0x45, 0xC3, 0xB9}};
const EFI_GUID kStringRecordGuid = {0x92D11080, 0x496F, 0x4D95, {0xBE, 0x7E, 0x03, 0x74, 0x88, 0x38, 0x2B, 0x0A}};

namespace {

constexpr size_t kHeaderSize = 20;
constexpr size_t kDebugLevel = 20, kDebugArgs = 24, kDebugFormat = 120;
constexpr size_t kAssertLine = 40, kAssertFile = 52;
constexpr size_t kStringType = 20, kStringPointer = 24;
constexpr uintptr_t kPreferredBase = 0x30000000;

void Put(uint8_t* at, uint64_t value, unsigned width) {
  for (unsigned i = 0; i < width; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t Address32(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "simulator: status-code record: %s\n", message.c_str());
  std::abort();
}

}  // namespace

StatusCodeRecordArena::StatusCodeRecordArena(size_t capacity, std::span<const ReservedRange> reserved)
    : capacity_(capacity) {
  // The same address from run to run when it is free (a record's address is part of an error line's text, so
  // two runs, host-linked or image, then send the same bytes; a window over it moves it above the window);
  // anywhere below 4 GiB clear of the windows otherwise.
  void* p = MapBelow4GiB(capacity_, reserved, kPreferredBase);
  if (p == nullptr) Fail("cannot place " + std::to_string(capacity_) + " bytes of records below 4 GiB");
  base_ = static_cast<uint8_t*>(p);
}

StatusCodeRecordArena::~StatusCodeRecordArena() { munmap(base_, capacity_); }

bool StatusCodeRecordArena::Contains(const void* p) const {
  auto* b = static_cast<const uint8_t*>(p);
  return b >= base_ && b < base_ + capacity_;
}

uint8_t* StatusCodeRecordArena::Allocate(size_t size) {
  size_t start = (used_ + 7) & ~size_t{7};
  if (start > capacity_ || size > capacity_ - start) {
    Fail("the arena of " + std::to_string(capacity_) + " bytes is full (make it larger)");
  }
  used_ = start + size;
  std::memset(base_ + start, 0, size);
  return base_ + start;
}

uint8_t* StatusCodeRecordArena::Record(const EFI_GUID& type, size_t extended_size) {
  uint8_t* r = Allocate(kHeaderSize + extended_size);
  Put(r, kHeaderSize, 2);
  Put(r + 2, extended_size, 2);
  std::memcpy(r + 4, &type, sizeof type);
  return r;
}

const char* StatusCodeRecordArena::Text(const std::string& text) {
  auto* p = Allocate(text.size() + 1);
  std::memcpy(p, text.c_str(), text.size() + 1);
  return reinterpret_cast<const char*>(p);
}

const EFI_GUID* StatusCodeRecordArena::Guid(const EFI_GUID& guid) {
  auto* p = Allocate(sizeof guid);
  std::memcpy(p, &guid, sizeof guid);
  return reinterpret_cast<const EFI_GUID*>(p);
}

const void* StatusCodeRecordArena::DebugPacked(uint32_t error_level, const std::string& format,
                                               const std::vector<uint8_t>& packed) {
  if (packed.size() > kDebugArgumentListSize) {
    Fail("a debug record holds " + std::to_string(kDebugArgumentListSize) + " bytes of arguments, not " +
         std::to_string(packed.size()));
  }
  uint8_t* r = Record(kDebugInfoRecordGuid, kDebugFormat - kHeaderSize + format.size() + 1);
  Put(r + kDebugLevel, error_level, 4);
  if (!packed.empty()) std::memcpy(r + kDebugArgs, packed.data(), packed.size());
  std::memcpy(r + kDebugFormat, format.c_str(), format.size() + 1);
  return r;
}

const void* StatusCodeRecordArena::Debug(uint32_t error_level, const std::string& format,
                                         const std::vector<DebugArgument>& args) {
  std::vector<uint8_t> packed;
  for (const auto& a : args) {
    uint64_t value = a.value;
    unsigned width = 4;
    if (a.kind == DebugArgument::Kind::Int64) width = 8;
    if (a.kind == DebugArgument::Kind::String) value = Address32(Text(a.text));
    for (unsigned i = 0; i < width; ++i) packed.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
  return DebugPacked(error_level, format, packed);
}

const void* StatusCodeRecordArena::Assertion(const std::string& file, uint32_t line, const std::string& description) {
  uint8_t* r = Record(EFI_GUID{}, kAssertFile - kHeaderSize + file.size() + 1 + description.size() + 1);
  Put(r + kAssertLine, line, 4);
  std::memcpy(r + kAssertFile, file.c_str(), file.size() + 1);
  std::memcpy(r + kAssertFile + file.size() + 1, description.c_str(), description.size() + 1);
  return r;
}

const void* StatusCodeRecordArena::String(const std::string& text, uint32_t string_type) {
  const char* copy = Text(text);
  uint8_t* r = Record(kStringRecordGuid, kStringPointer + 4 - kHeaderSize);
  Put(r + kStringType, string_type, 4);
  Put(r + kStringPointer, Address32(copy), 4);
  return r;
}

const void* StatusCodeRecordArena::Raw(const EFI_GUID& type, const std::vector<uint8_t>& extended) {
  uint8_t* r = Record(type, extended.size());
  if (!extended.empty()) std::memcpy(r + kHeaderSize, extended.data(), extended.size());
  return r;
}

}  // namespace sim
