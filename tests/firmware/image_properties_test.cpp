// The built firmware images: machine and header form, subsystem, entry point, imports, base relocations,
// start-up and exception sections, and (for the PEI module, which executes in place) writable data and layout.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "firmware/pe/link_map.h"
#include "firmware/pe/pe_image.h"

namespace {

struct Expected {
  const char* Image;
  const char* Map;
  const char* EntrySymbol;  // as the map lists it (IA-32 C names carry a leading underscore)
  uint16_t Machine;
  uint16_t Magic;
  uint16_t Fixup;  // the relocation type of a pointer of the machine
};

// Test names show the image's path rather than the record's bytes.
void PrintTo(const Expected& E, std::ostream* Out) { *Out << E.Image; }

const Expected kDxe{DXE_IMAGE, DXE_MAP, "PlatformSmbiosDriverEntry", pe::MachineAmd64, pe::MagicPe32Plus, pe::RelDir64};
const Expected kPei{PEI_IMAGE, PEI_MAP, "_TraceStatusPeimEntry", pe::MachineI386, pe::MagicPe32, pe::RelHighLow};

class FirmwareImage : public ::testing::TestWithParam<Expected> {
 protected:
  void SetUp() override {
    pe::ReadResult Read = pe::ReadImageFile(GetParam().Image);
    ASSERT_TRUE(Read.Value) << Read.Error;
    Image = *Read.Value;
    std::ifstream In(GetParam().Map);
    ASSERT_TRUE(In) << GetParam().Map << ": cannot open the link map";
    std::stringstream Text;
    Text << In.rdbuf();
    Map = Text.str();
  }
  pe::Image Image;
  std::string Map;
};

TEST_P(FirmwareImage, HasTheMachineAndHeaderFormOfItsPhase) {
  EXPECT_EQ(Image.Machine, GetParam().Machine);
  EXPECT_EQ(Image.Magic, GetParam().Magic);
}

TEST_P(FirmwareImage, IsAnEfiBootServiceDriver) { EXPECT_EQ(Image.Subsystem, pe::SubsystemEfiBootServiceDriver); }

TEST_P(FirmwareImage, EntersAtTheNamedEntryFunction) {
  std::optional<pe::MapSymbol> Entry = pe::FindMapSymbol(Map, GetParam().EntrySymbol);
  ASSERT_TRUE(Entry) << GetParam().Map << " lists no " << GetParam().EntrySymbol;
  EXPECT_EQ(Image.EntryPointRva, Entry->Rva);
  const pe::Section* Holder = Image.SectionAt(Image.EntryPointRva);
  ASSERT_NE(Holder, nullptr);
  EXPECT_TRUE(Holder->Has(pe::ScnExecute)) << Holder->Name;
}

TEST_P(FirmwareImage, ImportsNothing) {
  for (uint32_t Dir : {pe::DirImport, pe::DirIat, pe::DirDelayImport, pe::DirBoundImport, pe::DirExport}) {
    EXPECT_EQ(Image.DirectoryAt(Dir).Size, 0u) << "data directory " << Dir;
  }
  EXPECT_EQ(Image.FindSection(".idata"), nullptr);
}

TEST_P(FirmwareImage, CarriesBaseRelocationsOfItsPointerWidth) {
  EXPECT_GT(Image.DirectoryAt(pe::DirBaseReloc).Size, 0u);
  size_t Fixups = 0;
  for (const pe::Relocation& R : Image.Relocations) {
    if (R.Type == pe::RelAbsolute) {
      continue;
    }
    ++Fixups;
    EXPECT_EQ(R.Type, GetParam().Fixup) << "relocation at 0x" << std::hex << R.Rva;
    const pe::Section* Holder = Image.SectionAt(R.Rva);
    ASSERT_NE(Holder, nullptr) << "relocation at 0x" << std::hex << R.Rva << " is in no section";
    EXPECT_LT(R.Rva - Holder->VirtualAddress, Holder->RawSize) << "relocation patches zero-filled memory";
  }
  EXPECT_GT(Fixups, 0u);
}

TEST_P(FirmwareImage, HasNoStartUpTlsOrExceptionSections) {
  for (const pe::Section& S : Image.Sections) {
    for (const char* Forbidden :
         {".CRT", ".ctors", ".dtors", ".init_array", ".fini_array", ".tls", ".pdata", ".xdata"}) {
      EXPECT_NE(S.Name.rfind(Forbidden, 0), 0u) << S.Name;
    }
  }
  EXPECT_EQ(Image.DirectoryAt(pe::DirTls).Size, 0u);
  EXPECT_EQ(Image.DirectoryAt(pe::DirException).Size, 0u);
  EXPECT_EQ(Image.DirectoryAt(pe::DirLoadConfig).Size, 0u);
}

TEST_P(FirmwareImage, NoSectionIsBothWritableAndExecutable) {
  for (const pe::Section& S : Image.Sections) {
    EXPECT_FALSE(S.Has(pe::ScnWrite) && S.Has(pe::ScnExecute)) << S.Name;
  }
}

std::string ModuleName(const ::testing::TestParamInfo<Expected>& Info) {
  return Info.param.Machine == pe::MachineAmd64 ? "SmbiosDriver" : "TraceStatusPeim";
}

TEST_P(FirmwareImage, TheReaderRejectsEveryTruncationOfTheFile) {
  std::ifstream In(GetParam().Image, std::ios::binary);
  std::vector<uint8_t> Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  ASSERT_EQ(Bytes.size(), Image.FileSize);
  // The last section's file data ends the file, so no shorter prefix is a whole image.
  for (size_t Length = 0; Length < Bytes.size(); Length += 7) {
    std::vector<uint8_t> Cut(Bytes.begin(), Bytes.begin() + static_cast<long>(Length));
    EXPECT_FALSE(pe::ReadImage(Cut).Value) << "a " << Length << "-byte prefix was accepted";
  }
}

INSTANTIATE_TEST_SUITE_P(BothModules, FirmwareImage, ::testing::Values(kDxe, kPei), ModuleName);

class DxeDriverImage : public FirmwareImage {};

TEST_P(DxeDriverImage, HasPageAlignedSectionsAndIsMarkedNxCompatible) {
  // A core that protects memory maps each 4 KiB page as code or data.
  constexpr uint16_t NxCompatible = 0x0100;
  EXPECT_EQ(Image.SectionAlignment, 0x1000u);
  EXPECT_NE(Image.DllCharacteristics & NxCompatible, 0);
}

INSTANTIATE_TEST_SUITE_P(Dxe, DxeDriverImage, ::testing::Values(kDxe), ModuleName);

class PeiModuleImage : public FirmwareImage {};

TEST_P(PeiModuleImage, HasNoWritableOrZeroFilledData) {
  for (const pe::Section& S : Image.Sections) {
    EXPECT_FALSE(S.Has(pe::ScnWrite)) << S.Name << " is writable";
    EXPECT_FALSE(S.Has(pe::ScnUninitializedData)) << S.Name << " is zero-initialised data";
    EXPECT_LE(S.VirtualSize, S.RawSize) << S.Name << " has a zero-filled tail";
  }
}

TEST_P(PeiModuleImage, LiesInTheFileAsInMemorySoItCanExecuteInPlace) {
  EXPECT_EQ(Image.SectionAlignment, Image.FileAlignment);
  for (const pe::Section& S : Image.Sections) {
    EXPECT_EQ(S.RawOffset, S.VirtualAddress) << S.Name;
  }
  EXPECT_LE(Image.SizeOfImage, Image.FileSize);
}

INSTANTIATE_TEST_SUITE_P(Pei, PeiModuleImage, ::testing::Values(kPei), ModuleName);

}  // namespace
