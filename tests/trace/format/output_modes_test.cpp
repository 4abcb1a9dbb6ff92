// 1-byte written output has its own path through the engine; it must agree with 16-bit output and with
// count-only mode for every buffer size, cut conversions included.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "format_test_support.h"

namespace {

const UINT8 kGuid[16] = {0xBA, 0xE7, 0xA3, 0x23, 0xD1, 0x75, 0xB9, 0x4C,
                         0x9C, 0x8F, 0x56, 0xFA, 0x4E, 0x48, 0xD9, 0x9E};

struct Modes {
  std::string Narrow;
  std::string WideLowBytes;
  UINT32 NarrowCount;
  UINT32 WideCount;
};

Modes FormatInEveryMode(UINTN Size, const char* Format) {
  char Narrow[256];
  char16_t Wide[256];
  memset(Narrow, '#', sizeof Narrow);
  memset(Wide, '#', sizeof Wide);
  const char* File = "Platform/Pei/MemoryInit/MemoryInit.c";
  Modes M;
  M.NarrowCount = FormatText(Narrow, Size, Format, File, -412, kGuid, 0xABCDEFu, 0x8000000Eu, 18432);
  M.WideCount =
      FormatTextWithFlags(Wide, Size, FORMAT_OUTPUT_16BIT, Format, File, -412, kGuid, 0xABCDEFu, 0x8000000Eu, 18432);
  M.Narrow = std::string(Narrow, M.NarrowCount + 1);
  for (UINT32 I = 0; I <= M.WideCount; ++I) M.WideLowBytes += static_cast<char>(Wide[I]);
  EXPECT_EQ(Narrow[M.NarrowCount + 1], '#') << "written past the terminator at size " << Size;
  return M;
}

TEST(OutputModes, NarrowWideAndCountAgreeAtEverySize) {
  const char* Formats[] = {
      "\n\rASSERT!: %a (%d): %g\n\r",
      "Load %-12.6a|%08x|%,d %r\n",
      "plain text that is longer than a few machine words, no conversions at all\r\n",
      "%%%c%5d%-5x%X%%\n",
  };
  for (const char* Format : Formats) {
    UINT32 Full = format_test::CountOf(Format, "Platform/Pei/MemoryInit/MemoryInit.c", -412, kGuid, 0xABCDEFu,
                                       0x8000000Eu, 18432);
    Modes Whole = FormatInEveryMode(256, Format);
    EXPECT_EQ(Whole.NarrowCount, Full) << Format;
    for (UINTN Size = 1; Size <= Full + 2; ++Size) {
      Modes M = FormatInEveryMode(Size, Format);
      UINT32 Expected = Full < Size - 1 ? Full : static_cast<UINT32>(Size - 1);
      EXPECT_EQ(M.NarrowCount, Expected) << Format << " size " << Size;
      EXPECT_EQ(M.WideCount, Expected) << Format << " size " << Size;
      EXPECT_EQ(M.Narrow, Whole.Narrow.substr(0, Expected) + std::string(1, '\0')) << Format << " size " << Size;
      EXPECT_EQ(M.WideLowBytes, M.Narrow) << Format << " size " << Size;
    }
  }
}

}  // namespace
