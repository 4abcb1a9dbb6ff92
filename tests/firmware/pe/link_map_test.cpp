// Symbol look-up in linker maps of the form lld-link writes.
#include "firmware/pe/link_map.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kMap = R"( image

 Timestamp is 2be44dd2 (Sun May  2 22:40:18 1993)

 Preferred load address is 0000000000400000

 Start         Length     Name                   Class
 0001:00000000 000000cbH .text$TraceStatusPeimEntry CODE

  Address         Publics by Value              Rva+Base               Lib:Object

 0001:00000024       _TraceStatusPeimEntryPoint 0000000000400230     other.obj
 0001:00000030       _TraceStatusPeimEntry      0000000000400244     peim_entry.obj
 0001:000000ef       ___udivdi3                 000000000040030f     runtime_hooks.obj

 entry point at         0001:00000030

 Static symbols

 0002:00000010       __ZL5Table                 0000000000400410     tables.obj
)";

TEST(LinkMapSymbols, GivesThePublicSymbolsRvaFromItsAddressAndTheLoadAddress) {
  std::optional<pe::MapSymbol> Entry = pe::FindMapSymbol(kMap, "_TraceStatusPeimEntry");
  ASSERT_TRUE(Entry);
  EXPECT_EQ(Entry->Address, 0x400244u);
  EXPECT_EQ(Entry->Rva, 0x244u);  // the exact name, not the longer one listed before it
}

TEST(LinkMapSymbols, FindsStaticSymbols) {
  std::optional<pe::MapSymbol> Table = pe::FindMapSymbol(kMap, "__ZL5Table");
  ASSERT_TRUE(Table);
  EXPECT_EQ(Table->Rva, 0x410u);
}

TEST(LinkMapSymbols, AnUnlistedSymbolIsNotFound) {
  EXPECT_FALSE(pe::FindMapSymbol(kMap, "_PlatformSmbiosDriverEntry"));
  // A section name in the section list is not a symbol.
  EXPECT_FALSE(pe::FindMapSymbol(kMap, ".text$TraceStatusPeimEntry"));
}

TEST(LinkMapSymbols, AMapWithoutALoadAddressGivesNothing) {
  std::string Map = kMap;
  Map.erase(Map.find(" Preferred"), Map.find("\n", Map.find(" Preferred")) - Map.find(" Preferred"));
  EXPECT_FALSE(pe::FindMapSymbol(Map, "_TraceStatusPeimEntry"));
}

}  // namespace
