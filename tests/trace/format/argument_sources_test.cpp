// The packed argument list: walked exactly like the variadic list, preferred over it, 32-bit pointers.
#include <cstdint>

#include "tests/trace/format/format_test_support.h"
#include "uefi/guid.h"

namespace {

using format_test::Fmt;
using format_test::FmtPacked;
using format_test::LowMemory;
using format_test::PackedList;

// FormatTextEngine with both argument sources at once.
std::string FmtBoth(const void* Packed, const char* Format, ...) {
  char Buffer[128];
  __builtin_va_list Args;
  __builtin_va_start(Args, Format);
  UINT32 N = FormatTextEngine(Buffer, sizeof Buffer, 0, Format, &Args, Packed);
  __builtin_va_end(Args);
  return std::string(Buffer, N);
}

TEST(PackedList, IntegersCharactersStatusesAndStarsTakeFourBytes) {
  PackedList Args;
  Args.U32(static_cast<uint32_t>(-42)).U32(0xABCDu).U32('Z').U32(0x8000000Eu).U32(6).U32(3).U32(7).U32(99);
  EXPECT_EQ(FmtPacked("%d %x %c %r %*.*d %u", Args), "-42 ABCD Z Not Found    007 99");
}

TEST(PackedList, SixtyFourBitIntegersTakeEightBytesLowWordFirst) {
  PackedList Args;
  Args.U64(0x0123456789ABCDEFull).U32(5).U64(static_cast<uint64_t>(INT64_MIN)).U64(1234567890123ull);
  EXPECT_EQ(FmtPacked("%lx %d %ld %,Lu", Args), "123456789ABCDEF 5 -9223372036854775808 1,234,567,890,123");
}

TEST(PackedList, PointersAreFourByteAddresses) {
  LowMemory Memory(4096);
  ASSERT_NE(Memory.Data(), nullptr);
  const EFI_GUID Guid = {0x9A4E9246, 0xD553, 0x11D5, {0x87, 0xE2, 0x00, 0x06, 0x29, 0x45, 0xC3, 0xB9}};
  const uint8_t Time[8] = {0xE9, 0x07, 1, 2, 3, 4};
  PackedList Args;
  Args.U32(Memory.Place(0, "ascii", 6))
      .U32(Memory.Place(16, u"wide", 10))
      .U32(Memory.Place(32, &Guid, 16))
      .U32(Memory.Place(64, Time, sizeof Time))
      .U32(0x00C0FFEE)
      .U32(0)
      .U32(0)
      .U32(0);
  EXPECT_EQ(FmtPacked("%a %s %g %t %lp %a %g %t", Args),
            "ascii wide 9A4E9246-D553-11D5-87E2-00062945C3B9 01/02/2025  03:04 C0FFEE <null string> "
            "<null guid> <null time>");
}

TEST(PackedList, SameTextAsTheVariadicList) {
  struct Case {
    const char* Format;
    PackedList Packed;
    std::string Variadic;
  };
  Case Cases[] = {
      {"%5d|%-6,u|%08X", PackedList().U32(static_cast<uint32_t>(-7)).U32(1234567).U32(0xBEEF),
       Fmt("%5d|%-6,u|%08X", -7, 1234567u, 0xBEEFu)},
      {"%lx:%x:%ld", PackedList().U64(0xFEDCBA9876543210ull).U32(1).U64(static_cast<uint64_t>(-2)),
       Fmt("%lx:%x:%ld", 0xFEDCBA9876543210ull, 1u, static_cast<INT64>(-2))},
      {"%*d%.*x%c%r", PackedList().U32(4).U32(9).U32(3).U32(0xA).U32('q').U32(0x80000007u),
       Fmt("%*d%.*x%c%r", 4, 9, 3, 0xAu, 'q', 0x80000007u)},
  };
  for (const Case& C : Cases) EXPECT_EQ(FmtPacked(C.Format, C.Packed), C.Variadic) << C.Format;
}

TEST(PackedList, WinsOverTheVariadicList) {
  PackedList Packed;
  Packed.U32(111).U32(222);
  EXPECT_EQ(FmtBoth(Packed.Data(), "%d %d", 1, 2), "111 222");
  EXPECT_EQ(FmtBoth(nullptr, "%d %d", 1, 2), "1 2");
}

TEST(NoArgumentSource, EveryArgumentReadsAsZero) {
  char Buffer[64];
  UINT32 N = FormatTextEngine(Buffer, sizeof Buffer, 0, "%d %lx %a %r %5c|", nullptr, nullptr);
  EXPECT_EQ(std::string(Buffer, N), "0 0 <null string> Success      |");
}

}  // namespace
