// The PE reader on small images built in memory (tests/support/pe_test_image.h): fields of both header forms, base relocations, and errors
// (never a read past the end) for truncated and corrupt files.
#include "firmware/pe/pe_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/pe_test_image.h"

namespace {

using petest::TestImage;

std::string ErrorOf(const TestImage& Image) {
  pe::ReadResult Result = Image.Read();
  EXPECT_FALSE(Result.Value.has_value());
  return Result.Error;
}

TEST(PeReaderHeaders, ReadsAPe32PlusImage) {
  pe::ReadResult Result = TestImage(true).Read();
  ASSERT_TRUE(Result.Value) << Result.Error;
  const pe::Image& Image = *Result.Value;
  EXPECT_EQ(Image.Machine, pe::MachineAmd64);
  EXPECT_TRUE(Image.IsPe32Plus());
  EXPECT_EQ(Image.ImageBase, 0x140000000ull);
  EXPECT_EQ(Image.EntryPointRva, 0x1010u);
  EXPECT_EQ(Image.Subsystem, pe::SubsystemEfiBootServiceDriver);
  EXPECT_EQ(Image.SectionAlignment, 0x1000u);
  EXPECT_EQ(Image.FileAlignment, 0x200u);
  EXPECT_EQ(Image.SizeOfImage, 0x3000u);
  EXPECT_EQ(Image.DllCharacteristics, 0x0140u);
  ASSERT_EQ(Image.Directories.size(), 16u);
  ASSERT_EQ(Image.Sections.size(), 2u);
  EXPECT_EQ(Image.Sections[0].Name, ".text");
  EXPECT_TRUE(Image.Sections[0].Has(pe::ScnExecute));
  EXPECT_FALSE(Image.Sections[0].Has(pe::ScnWrite));
  EXPECT_EQ(Image.Sections[1].RawOffset, 0x400u);
}

TEST(PeReaderHeaders, ReadsAPe32ImageWithItsShorterFields) {
  pe::ReadResult Result = TestImage(false).Read();
  ASSERT_TRUE(Result.Value) << Result.Error;
  EXPECT_EQ(Result.Value->Machine, pe::MachineI386);
  EXPECT_FALSE(Result.Value->IsPe32Plus());
  EXPECT_EQ(Result.Value->ImageBase, 0x400000u);
  EXPECT_EQ(Result.Value->DirectoryAt(pe::DirBaseReloc).Rva, 0x2000u);
}

TEST(PeReaderHeaders, FindsSectionsByNameAndAddress) {
  pe::Image Image = *TestImage(true).Read().Value;
  ASSERT_NE(Image.SectionAt(0x1010), nullptr);
  EXPECT_EQ(Image.SectionAt(0x1010)->Name, ".text");
  EXPECT_EQ(Image.SectionAt(0x1040), nullptr);  // past the section's virtual size
  EXPECT_EQ(Image.FindSection(".reloc"), &Image.Sections[1]);
  EXPECT_EQ(Image.FindSection(".data"), nullptr);
}

TEST(PeReaderHeaders, MissingDirectoriesReadAsEmpty) {
  TestImage Image(true);
  Image.Put32(TestImage::Optional + 108, 5);  // only export..security declared: no relocation directory
  pe::ReadResult Result = Image.Read();
  ASSERT_TRUE(Result.Value) << Result.Error;
  EXPECT_EQ(Result.Value->DirectoryAt(pe::DirBaseReloc).Size, 0u);
  EXPECT_TRUE(Result.Value->Relocations.empty());
}

TEST(PeReaderRelocations, ListsEveryEntryWithItsTypeAndAddress) {
  for (bool Plus : {true, false}) {
    pe::Image Image = *TestImage(Plus).Read().Value;
    ASSERT_EQ(Image.Relocations.size(), 2u);
    EXPECT_EQ(Image.Relocations[0].Rva, 0x1020u);
    EXPECT_EQ(Image.Relocations[0].Type, Plus ? pe::RelDir64 : pe::RelHighLow);
    EXPECT_EQ(Image.Relocations[1].Type, pe::RelAbsolute);
  }
}

TEST(PeReaderRelocations, RejectsABlockSmallerThanItsHeader) {
  TestImage Image(true);
  Image.Put32(0x404, 4);
  EXPECT_NE(ErrorOf(Image).find("impossible size"), std::string::npos);
}

TEST(PeReaderRelocations, RejectsABlockLongerThanTheDirectory) {
  TestImage Image(true);
  Image.Put32(0x404, 0x10);
  EXPECT_NE(ErrorOf(Image).find("impossible size"), std::string::npos);
}

TEST(PeReaderRelocations, RejectsAFixupOutsideTheImage) {
  TestImage Image(true);
  Image.Put32(0x400, 0x2FF8);  // 0x2FF8 + 0x20 + 8 bytes passes SizeOfImage 0x3000
  EXPECT_NE(ErrorOf(Image).find("outside the image"), std::string::npos);
}

TEST(PeReaderRelocations, RejectsADirectoryOutsideTheSectionData) {
  TestImage Image(true);
  Image.Put32(Image.DirectoryOffset(pe::DirBaseReloc), 0x2800);
  EXPECT_NE(ErrorOf(Image).find("not inside a section"), std::string::npos);
}

// Bounds of the header and relocation fields, each at the bound (accepted) and past it (refused), in both forms.
struct BoundCase {
  const char* What;
  void (*Damage)(TestImage&);
  const char* Problem;  // null: accepted
};

const BoundCase BoundCases[] = {
    {"headers as long as the file", [](TestImage& I) { I.Put32(TestImage::Optional + 60, 0x600); }, nullptr},
    {"headers one byte longer than the file", [](TestImage& I) { I.Put32(TestImage::Optional + 60, 0x601); },
     "header size 0x601 runs past the end of the file"},
    {"a fixup ending at the image's end", [](TestImage& I) { I.Put32(0x400, I.Plus ? 0x2FD8 : 0x2FDC); }, nullptr},
    {"a fixup one byte past the image's end", [](TestImage& I) { I.Put32(0x400, I.Plus ? 0x2FD9 : 0x2FDD); },
     "outside the image"},
    {"a page address whose fixup offset wraps round 4 GiB into the image",
     [](TestImage& I) { I.Put32(0x400, 0xFFFFFFF0); }, "base relocation at 0x100000010 lies outside the image"},
};

TEST(PeReaderBounds, EachBoundHoldsAtItsLimitAndRefusesPastIt) {
  for (bool Plus : {true, false}) {
    for (const BoundCase& Case : BoundCases) {
      SCOPED_TRACE(std::string(Case.What) + (Plus ? " (PE32+)" : " (PE32)"));
      TestImage Image(Plus);
      Case.Damage(Image);
      pe::ReadResult Result = Image.Read();
      if (Case.Problem == nullptr) {
        EXPECT_TRUE(Result.Value) << Result.Error;
      } else {
        EXPECT_FALSE(Result.Value);
        EXPECT_NE(Result.Error.find(Case.Problem), std::string::npos) << Result.Error;
      }
    }
  }
}

TEST(PeReaderCorruption, EveryTruncationIsAnErrorNotACrash) {
  for (bool Plus : {true, false}) {
    TestImage Whole(Plus);
    // .reloc's file data ends the file, so every shorter prefix misses something the headers promise.
    for (size_t Length = 0; Length < Whole.Bytes.size(); ++Length) {
      std::vector<uint8_t> Cut(Whole.Bytes.begin(), Whole.Bytes.begin() + static_cast<long>(Length));
      pe::ReadResult Result = pe::ReadImage(Cut);
      EXPECT_FALSE(Result.Value) << "a " << Length << "-byte prefix was accepted";
      EXPECT_FALSE(Result.Error.empty());
    }
  }
}

TEST(PeReaderCorruption, NamesAMissingDosSignature) {
  TestImage Image(true);
  Image.Bytes[0] = 'X';
  EXPECT_NE(ErrorOf(Image).find("MZ"), std::string::npos);
}

TEST(PeReaderCorruption, NamesAPeHeaderPointerBeyondTheFile) {
  TestImage Image(true);
  Image.Put32(0x3C, 0xFFFFFFF0);
  EXPECT_NE(ErrorOf(Image).find("beyond the end"), std::string::npos);
}

TEST(PeReaderCorruption, NamesAMissingPeSignature) {
  TestImage Image(true);
  Image.Bytes[TestImage::PeOffset + 1] = 'X';
  EXPECT_NE(ErrorOf(Image).find("signature"), std::string::npos);
}

TEST(PeReaderCorruption, NamesAnUnknownOptionalHeaderMagic) {
  TestImage Image(true);
  Image.Put16(TestImage::Optional, 0x0107);
  EXPECT_NE(ErrorOf(Image).find("magic"), std::string::npos);
}

TEST(PeReaderCorruption, RejectsAnOptionalHeaderTooShortForItsMagic) {
  TestImage Image(true);
  Image.Put16(TestImage::PeOffset + 20, 96);  // a PE32 size for a PE32+ header
  EXPECT_NE(ErrorOf(Image).find("shorter"), std::string::npos);
}

TEST(PeReaderCorruption, RejectsMoreDirectoriesThanTheHeaderHolds) {
  TestImage Image(true);
  Image.Put32(TestImage::Optional + 108, 17);
  EXPECT_NE(ErrorOf(Image).find("data directories"), std::string::npos);
}

TEST(PeReaderCorruption, RejectsASectionTablePastTheEnd) {
  TestImage Image(true);
  Image.Put16(TestImage::PeOffset + 6, 40);
  EXPECT_NE(ErrorOf(Image).find("section"), std::string::npos);
}

TEST(PeReaderCorruption, RejectsSectionDataPastTheEnd) {
  TestImage Image(true);
  Image.Put32(Image.SectionTable() + 20, 0x500);  // .text's 0x200 bytes would end at 0x700
  EXPECT_NE(ErrorOf(Image).find(".text"), std::string::npos);
}

TEST(PeReaderCorruption, RejectsASectionPastTheImageSize) {
  TestImage Image(true);
  Image.Put32(Image.SectionTable() + 40 + 12, 0x2F00);  // .reloc's 0x200 file bytes pass 0x3000
  EXPECT_NE(ErrorOf(Image).find("image size"), std::string::npos);
}

TEST(PeReaderCorruption, RejectsAnEntryPointOutsideTheImage) {
  TestImage Image(false);
  Image.Put32(TestImage::Optional + 16, 0x3000);
  EXPECT_NE(ErrorOf(Image).find("entry point"), std::string::npos);
}

TEST(PeReaderFiles, NamesAFileThatCannotBeOpened) {
  pe::ReadResult Result = pe::ReadImageFile("/nonexistent/image.efi");
  EXPECT_FALSE(Result.Value);
  EXPECT_NE(Result.Error.find("/nonexistent/image.efi"), std::string::npos);
}

}  // namespace
