// The functions of an image's code from its link map: readable names, names without parameters, and on the
// built images, functions only in code sections, each running to the next.
#include "tools/image_coverage/code_functions.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace image_coverage {
namespace {

struct Naming {
  const char* symbol;
  bool ia32;
  const char* name;
  const char* without_parameters;
};

// Test names show the symbol rather than the record's bytes.
void PrintTo(const Naming& naming, std::ostream* out) { *out << naming.symbol; }

class SymbolNames : public ::testing::TestWithParam<Naming> {};

TEST_P(SymbolNames, AreDemangledAndCutBeforeTheirParameters) {
  std::string name = ReadableName(GetParam().symbol, GetParam().ia32);
  EXPECT_EQ(name, GetParam().name);
  EXPECT_EQ(NameWithoutParameters(name), GetParam().without_parameters);
}

INSTANTIATE_TEST_SUITE_P(
    Maps, SymbolNames,
    ::testing::Values(Naming{"PlatformSmbiosDriverEntry", false, "PlatformSmbiosDriverEntry",
                             "PlatformSmbiosDriverEntry"},
                      Naming{"_TraceStatusPeimEntry", true, "TraceStatusPeimEntry", "TraceStatusPeimEntry"},
                      Naming{"__Z10StatusNamej", true, "StatusName(unsigned int)", "StatusName"},
                      Naming{"_Z10StatusNamej", false, "StatusName(unsigned int)", "StatusName"},
                      Naming{"__ZN10FormatSink6FinishEv", true, "FormatSink::Finish()", "FormatSink::Finish"},
                      Naming{"_ZN12_GLOBAL__N_16Load32EPKh", false,
                             "(anonymous namespace)::Load32(unsigned char const*)", "(anonymous namespace)::Load32"},
                      Naming{"_ZNK1A1fEv", false, "A::f() const", "A::f"},
                      Naming{"_Z9FatalStopIJhEEvPKhPKcDpT_", false,
                             "void FatalStop<unsigned char>(unsigned char const*, char const*, unsigned char)",
                             "void FatalStop<unsigned char>"},
                      Naming{"_Zbroken", false, "_Zbroken", "_Zbroken"}));

#if defined(DXE_IMAGE) && defined(PEI_IMAGE)

class BuiltImageFunctions : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(BuiltImageFunctions, LieInCodeSectionsEachRunningToTheNext) {
  pe::ReadResult image = pe::ReadImageFile(GetParam().first);
  ASSERT_TRUE(image.Value) << image.Error;
  std::ifstream in(GetParam().second);
  std::ostringstream map;
  map << in.rdbuf();
  std::vector<CodeFunction> functions = ListCodeFunctions(*image.Value, map.str());
  ASSERT_FALSE(functions.empty());
  for (size_t i = 0; i < functions.size(); ++i) {
    const pe::Section* section = image.Value->SectionAt(functions[i].rva);
    ASSERT_NE(section, nullptr) << functions[i].name;
    EXPECT_TRUE(section->Has(pe::ScnCode)) << functions[i].name;
    EXPECT_LT(functions[i].rva, functions[i].end) << functions[i].name;
    uint32_t next =
        i + 1 < functions.size() ? functions[i + 1].rva : section->VirtualAddress + SectionContentSize(*section);
    EXPECT_EQ(functions[i].end, next) << functions[i].name;
    EXPECT_FALSE(functions[i].object.empty());
  }
  // The entry point is a function's start.
  auto entry = std::find_if(functions.begin(), functions.end(),
                            [&](const CodeFunction& f) { return f.rva == image.Value->EntryPointRva; });
  EXPECT_NE(entry, functions.end());
}

INSTANTIATE_TEST_SUITE_P(Built, BuiltImageFunctions,
                         ::testing::Values(std::make_pair(DXE_IMAGE, DXE_MAP), std::make_pair(PEI_IMAGE, PEI_MAP)));

#endif

}  // namespace
}  // namespace image_coverage
