// Helpers for the formatter tests: 8- and 16-bit result strings, packed argument lists, memory below
// 4 GiB (packed lists hold 32-bit pointers) and guarded memory that faults just past its end.
#pragma once
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "trace/format/format_text.h"

namespace format_test {

// FormatText into a 512-byte buffer; checks that the result matches the terminated text.
template <typename... Args>
std::string Fmt(const char* Format, Args... A) {
  char Buffer[512];
  memset(Buffer, 0x5A, sizeof Buffer);
  UINT32 N = FormatText(Buffer, sizeof Buffer, Format, A...);
  EXPECT_EQ(N, strlen(Buffer)) << Format;
  return std::string(Buffer, N);
}

// FormatTextWithFlags producing 16-bit characters into a 256-character buffer.
template <typename... Args>
std::u16string FmtWide(UINT32 Flags, const void* Format, Args... A) {
  char16_t Buffer[256];
  memset(Buffer, 0x5A, sizeof Buffer);
  UINT32 N = FormatTextWithFlags(Buffer, 256, Flags | FORMAT_OUTPUT_16BIT, Format, A...);
  EXPECT_EQ(Buffer[N], u'\0');
  return std::u16string(Buffer, N);
}

// Count-only length of a format with variadic arguments.
template <typename... Args>
UINT32 CountOf(const char* Format, Args... A) {
  return FormatTextWithFlags(nullptr, 0, FORMAT_COUNT_ONLY, Format, A...);
}

// Memory whose address fits in 32 bits (always true in the 32-bit build), page-granular.
class LowMemory {
 public:
  explicit LowMemory(size_t Bytes) : Size(Bytes) {
    int Flags = MAP_PRIVATE | MAP_ANONYMOUS;
#if defined(__x86_64__)
    Flags |= MAP_32BIT;
#endif
    void* P = mmap(nullptr, Size, PROT_READ | PROT_WRITE, Flags, -1, 0);
    Base = P == MAP_FAILED ? nullptr : static_cast<uint8_t*>(P);
  }
  ~LowMemory() {
    if (Base != nullptr) munmap(Base, Size);
  }
  LowMemory(const LowMemory&) = delete;
  LowMemory& operator=(const LowMemory&) = delete;
  uint8_t* Data() const { return Base; }
  // Copies Bytes in at Offset and returns their 32-bit address.
  uint32_t Place(size_t Offset, const void* Bytes, size_t N) {
    memcpy(Base + Offset, Bytes, N);
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Base + Offset));
  }

 private:
  size_t Size;
  uint8_t* Base;
};

// Bytes readable up to End(); the page after it faults, so reading past the end crashes the test.
class GuardedMemory {
 public:
  explicit GuardedMemory(size_t Bytes) {
    size_t Page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    Usable = (Bytes + Page - 1) / Page * Page;
    Total = Usable + Page;
    void* P = mmap(nullptr, Total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    Base = P == MAP_FAILED ? nullptr : static_cast<uint8_t*>(P);
    if (Base != nullptr) mprotect(Base + Usable, Page, PROT_NONE);
  }
  ~GuardedMemory() {
    if (Base != nullptr) munmap(Base, Total);
  }
  GuardedMemory(const GuardedMemory&) = delete;
  GuardedMemory& operator=(const GuardedMemory&) = delete;
  bool Ok() const { return Base != nullptr; }
  uint8_t* End() const { return Base + Usable; }

 private:
  size_t Usable = 0;
  size_t Total = 0;
  uint8_t* Base = nullptr;
};

// A packed argument list laid out as the 32-bit caller stores it.
class PackedList {
 public:
  PackedList& U32(uint32_t V) {
    for (int I = 0; I < 4; ++I) Bytes.push_back(static_cast<uint8_t>(V >> (8 * I)));
    return *this;
  }
  PackedList& U64(uint64_t V) { return U32(static_cast<uint32_t>(V)).U32(static_cast<uint32_t>(V >> 32)); }
  const void* Data() const { return Bytes.data(); }

 private:
  std::vector<uint8_t> Bytes;
};

// FormatTextEngine of an 8-bit format with a packed list (and no variadic list).
inline std::string FmtPacked(const char* Format, const PackedList& Args) {
  char Buffer[512];
  UINT32 N = FormatTextEngine(Buffer, sizeof Buffer, 0, Format, nullptr, Args.Data());
  EXPECT_EQ(N, strlen(Buffer)) << Format;
  return std::string(Buffer, N);
}

}  // namespace format_test
