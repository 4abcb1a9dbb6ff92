// The driver's English string package as a package blob: a u32 blob length, then one HII string package
// (header, language "en-US", 27 UCS-2 string blocks, end block). Built at compile time from the strings.
#include "smbios/board/string_package.h"

#include "smbios/board/board_inventory.h"

namespace {

constexpr UINT8 StringBlockUcs2 = 0x14;
constexpr UINT8 StringBlockEnd = 0x00;
constexpr UINT8 PackageTypeStrings = 0x04;
constexpr UINT32 StringPackageHeaderSize = 52;
constexpr CHAR8 Language[] = "en-US";
constexpr UINTN BlobLengthField = 4;

constexpr UINTN StringLength(const CHAR16 *s) {
  UINTN n = 0;
  while (s[n] != 0) ++n;
  return n;
}

constexpr UINTN BlobSize() {
  UINTN size = BlobLengthField + StringPackageHeaderSize;
  for (const CHAR16 *s : PackageStrings) size += 1 + 2 * (StringLength(s) + 1);
  return size + 1;
}

constexpr UINTN PackageBlobSize = BlobSize();
static_assert(PackageStringCount == 27, "27 strings, IDs 1 to 27");

struct BlobBytes {
  UINT8 Bytes[PackageBlobSize];
};

struct BlobWriter {
  BlobBytes Blob{};
  UINTN At = 0;
  constexpr void Byte(UINT8 b) { Blob.Bytes[At++] = b; }
  constexpr void U16(UINT32 v) {
    Byte(static_cast<UINT8>(v));
    Byte(static_cast<UINT8>(v >> 8));
  }
  constexpr void U24(UINT32 v) {
    U16(v);
    Byte(static_cast<UINT8>(v >> 16));
  }
  constexpr void U32(UINT32 v) {
    U16(v);
    U16(v >> 16);
  }
};

constexpr BlobBytes BuildBlob() {
  BlobWriter w;
  w.U32(static_cast<UINT32>(PackageBlobSize));
  // Package header: 24-bit length and type, then the string package fields.
  w.U24(static_cast<UINT32>(PackageBlobSize - BlobLengthField));
  w.Byte(PackageTypeStrings);
  w.U32(StringPackageHeaderSize);         // HdrSize
  w.U32(StringPackageHeaderSize);         // StringInfoOffset
  for (int i = 0; i < 16; ++i) w.U16(0);  // LanguageWindow
  w.U16(1);                               // LanguageName: string ID 1
  for (CHAR8 c : Language) w.Byte(static_cast<UINT8>(c));
  for (const CHAR16 *s : PackageStrings) {
    w.Byte(StringBlockUcs2);
    for (UINTN i = 0; i <= StringLength(s); ++i) w.U16(s[i]);
  }
  w.Byte(StringBlockEnd);
  return w.Blob;
}

constexpr BlobBytes Built = BuildBlob();

}  // namespace

// The blob's bytes, spelled out element by element from the compile-time image (constant-initialized).
#define B1(i) Built.Bytes[(i)]
#define B10(i)                                                                                                   \
  B1(i), B1((i) + 1), B1((i) + 2), B1((i) + 3), B1((i) + 4), B1((i) + 5), B1((i) + 6), B1((i) + 7), B1((i) + 8), \
      B1((i) + 9)
#define B100(i)                                                                                                    \
  B10(i), B10((i) + 10), B10((i) + 20), B10((i) + 30), B10((i) + 40), B10((i) + 50), B10((i) + 60), B10((i) + 70), \
      B10((i) + 80), B10((i) + 90)
static_assert(PackageBlobSize == 1074, "the element list below spells out 1074 bytes");
constinit const UINT8 DriverStringPackageBlob[PackageBlobSize] = {
    B100(0),   B100(100), B100(200), B100(300), B100(400), B100(500), B100(600),
    B100(700), B100(800), B100(900), B10(1000), B10(1010), B10(1020), B10(1030),
    B10(1040), B10(1050), B10(1060), B1(1070),  B1(1071),  B1(1072),  B1(1073),
};
#undef B100
#undef B10
#undef B1
