// Builders of PI status-code data records laid out as the tracing module reads them (debug information,
// assertion, string, or any type GUID with raw extended data), placed below 4 GiB so the 32-bit pointers
// inside them (string pointer, packed-list pointers) hold in 64-bit builds too. Records live as long as
// the arena that built them.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "sim/common/reserved_range.h"
#include "uefi/guid.h"

namespace sim {

// One argument of a debug record's packed list: a 32-bit integer (4 bytes), a 64-bit integer for an
// 'l'/'L' conversion (8 bytes), or a string copied into the arena whose 32-bit address is packed (4 bytes).
struct DebugArgument {
  enum class Kind { Int32, Int64, String };
  Kind kind = Kind::Int32;
  uint64_t value = 0;
  std::string text;

  static DebugArgument Int32(uint32_t v) { return {Kind::Int32, v, {}}; }
  static DebugArgument Int64(uint64_t v) { return {Kind::Int64, v, {}}; }
  static DebugArgument String(std::string s) { return {Kind::String, 0, std::move(s)}; }
};

// The packed list's size in a debug record; arguments past it are refused by the builder.
constexpr size_t kDebugArgumentListSize = 96;

class StatusCodeRecordArena {
 public:
  // `capacity` bytes below 4 GiB, clear of the `reserved` ranges (the platform's windows).
  explicit StatusCodeRecordArena(size_t capacity = 1 << 20, std::span<const ReservedRange> reserved = {});
  ~StatusCodeRecordArena();
  StatusCodeRecordArena(const StatusCodeRecordArena&) = delete;
  StatusCodeRecordArena& operator=(const StatusCodeRecordArena&) = delete;

  // Debug-information record: error level at 20, packed arguments at 24 (96 bytes, zero-filled after the
  // given ones), the format at 120. More arguments than fit abort with a message.
  const void* Debug(uint32_t error_level, const std::string& format, const std::vector<DebugArgument>& args);
  // Debug-information record with the 96 packed bytes given as they are.
  const void* DebugPacked(uint32_t error_level, const std::string& format, const std::vector<uint8_t>& packed);
  // Assertion record: line number at 40, the file name at 52, the description after the file name's NUL.
  const void* Assertion(const std::string& file, uint32_t line, const std::string& description);
  // String record: string type at 20, a 32-bit pointer to a NUL-terminated copy of text at 24.
  const void* String(const std::string& text, uint32_t string_type = 0);
  // Any record: the common header with this type GUID, then the extended data.
  const void* Raw(const EFI_GUID& type, const std::vector<uint8_t>& extended);
  // A copy of a GUID (a caller ID).
  const EFI_GUID* Guid(const EFI_GUID& guid);
  // A NUL-terminated copy of text.
  const char* Text(const std::string& text);

  // Whether an address lies inside the arena, and the bytes handed out so far.
  bool Contains(const void* p) const;
  size_t used() const { return used_; }
  // The arena's memory, for mapping it into an emulated image at the same address.
  const uint8_t* base() const { return base_; }
  size_t capacity() const { return capacity_; }

 private:
  uint8_t* Allocate(size_t size);
  uint8_t* Record(const EFI_GUID& type, size_t extended_size);

  uint8_t* base_ = nullptr;
  size_t capacity_ = 0;
  size_t used_ = 0;
};

// The type GUIDs of the records above.
extern const EFI_GUID kDebugInfoRecordGuid;
extern const EFI_GUID kStringRecordGuid;

}  // namespace sim
