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

TEST(LinkMapSymbols, ListsEveryPublicAndStaticSymbolWithItsSectionAndObject) {
  std::vector<pe::MapSymbolLine> Symbols = pe::ReadMapSymbols(kMap);
  ASSERT_EQ(Symbols.size(), 4u);  // not the section list's line, nor the entry point line
  EXPECT_EQ(Symbols[0].Name, "_TraceStatusPeimEntryPoint");
  EXPECT_EQ(Symbols[0].Object, "other.obj");
  EXPECT_EQ(Symbols[0].Section, 1u);
  EXPECT_EQ(Symbols[0].Rva, 0x230u);
  EXPECT_EQ(Symbols[2].Name, "___udivdi3");
  EXPECT_EQ(Symbols[2].Address, 0x40030fu);
  EXPECT_EQ(Symbols[3].Name, "__ZL5Table");
  EXPECT_EQ(Symbols[3].Section, 2u);
  EXPECT_EQ(Symbols[3].Rva, 0x410u);
  EXPECT_EQ(Symbols[3].Object, "tables.obj");
}

TEST(LinkMapSymbols, ListsNothingWithoutALoadAddressAndNoSymbolBelowIt) {
  std::string Map = kMap;
  std::string::size_type Line = Map.find(" Preferred");
  EXPECT_TRUE(pe::ReadMapSymbols(Map.substr(0, Line) + Map.substr(Map.find("\n", Line))).empty());
  Map.replace(Map.find("0000000000400230"), 16, "00000000003ffff0");
  std::vector<pe::MapSymbolLine> Symbols = pe::ReadMapSymbols(Map);
  ASSERT_EQ(Symbols.size(), 3u);
  EXPECT_EQ(Symbols[0].Name, "_TraceStatusPeimEntry");
}

}  // namespace
