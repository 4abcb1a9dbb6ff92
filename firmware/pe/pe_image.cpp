// Reads PE32/PE32+ headers, the section table and the base relocation directory, bounds-checking each field.
#include "firmware/pe/pe_image.h"

#include <fstream>
#include <iterator>

namespace pe {
namespace {

constexpr uint32_t DosHeaderSize = 64;
constexpr uint32_t NewHeaderPointer = 0x3C;
constexpr uint32_t FileHeaderSize = 20;
constexpr uint32_t SectionHeaderSize = 40;
constexpr uint32_t MaxDirectories = 16;
constexpr uint32_t MaxSections = 96;  // the limit loaders apply
constexpr uint32_t RelocBlockHeaderSize = 8;

// Little-endian field reads from a range already checked to lie in the file.
class Bytes {
 public:
  explicit Bytes(std::span<const uint8_t> Data) : Data_(Data) {}
  uint64_t Size() const { return Data_.size(); }
  bool Holds(uint64_t Offset, uint64_t Length) const {
    return Offset <= Data_.size() && Length <= Data_.size() - Offset;
  }
  uint16_t U16(uint64_t Offset) const { return static_cast<uint16_t>(Data_[Offset] | (Data_[Offset + 1] << 8)); }
  uint32_t U32(uint64_t Offset) const { return U16(Offset) | (static_cast<uint32_t>(U16(Offset + 2)) << 16); }
  uint64_t U64(uint64_t Offset) const { return U32(Offset) | (static_cast<uint64_t>(U32(Offset + 4)) << 32); }
  std::string Name(uint64_t Offset) const {
    std::string Text;
    for (uint64_t Index = 0; Index < 8 && Data_[Offset + Index] != 0; ++Index) {
      Text.push_back(static_cast<char>(Data_[Offset + Index]));
    }
    return Text;
  }

 private:
  std::span<const uint8_t> Data_;
};

ReadResult Fail(std::string Message) { return ReadResult{std::nullopt, std::move(Message)}; }

std::string Hex(uint64_t Value) {
  static const char Digits[] = "0123456789ABCDEF";
  std::string Text;
  do {
    Text.insert(Text.begin(), Digits[Value & 0xF]);
    Value >>= 4;
  } while (Value != 0);
  return "0x" + Text;
}

// Layout of the optional header fields that differ between PE32 and PE32+.
struct OptionalLayout {
  uint32_t FixedSize;       // bytes before the data directories
  uint32_t DirectoryCount;  // offset of NumberOfRvaAndSizes
};

// File offset of RVA range [Rva, Rva + Length) when it lies in the file data of one section.
std::optional<uint64_t> FileOffsetOf(const Image &Result, uint32_t Rva, uint32_t Length) {
  for (const Section &S : Result.Sections) {
    uint64_t Start = S.VirtualAddress;
    if (Rva >= Start && static_cast<uint64_t>(Rva) + Length <= Start + S.RawSize) {
      return S.RawOffset + (Rva - Start);
    }
  }
  return std::nullopt;
}

uint32_t FixupWidth(uint16_t Type) {
  switch (Type) {
    case RelHighLow: return 4;
    case RelDir64: return 8;
    case RelAbsolute: return 0;
    default: return 2;  // the narrow and architecture-specific kinds patch at least two bytes
  }
}

std::optional<std::string> ReadRelocations(const Bytes &File, Image &Result) {
  DataDirectory Dir = Result.DirectoryAt(DirBaseReloc);
  if (Dir.Size == 0) {
    return std::nullopt;
  }
  std::optional<uint64_t> Start = FileOffsetOf(Result, Dir.Rva, Dir.Size);
  if (!Start) {
    return "base relocation directory " + Hex(Dir.Rva) + "+" + Hex(Dir.Size) + " is not inside a section's file data";
  }
  uint64_t Offset = *Start;
  uint64_t End = *Start + Dir.Size;
  while (Offset < End) {
    if (End - Offset < RelocBlockHeaderSize) {
      return "base relocation block at file offset " + Hex(Offset) + " is cut short";
    }
    uint32_t PageRva = File.U32(Offset);
    uint32_t BlockSize = File.U32(Offset + 4);
    if (BlockSize < RelocBlockHeaderSize || BlockSize % 2 != 0 || BlockSize > End - Offset) {
      return "base relocation block at file offset " + Hex(Offset) + " has an impossible size " + Hex(BlockSize);
    }
    for (uint64_t Entry = Offset + RelocBlockHeaderSize; Entry < Offset + BlockSize; Entry += 2) {
      uint16_t Word = File.U16(Entry);
      uint16_t Type = static_cast<uint16_t>(Word >> 12);
      uint32_t Width = FixupWidth(Type);
      // The page address plus the offset in 64 bits: a page near 4 GiB must not wrap round into the image.
      uint64_t Rva = static_cast<uint64_t>(PageRva) + (Word & 0x0FFFu);
      if (Width != 0 && Rva + Width > Result.SizeOfImage) {
        return "base relocation at " + Hex(Rva) + " lies outside the image of " + Hex(Result.SizeOfImage) + " bytes";
      }
      Result.Relocations.push_back({static_cast<uint32_t>(Rva), Type});
    }
    Offset += BlockSize;
  }
  return std::nullopt;
}

}  // namespace

DataDirectory Image::DirectoryAt(uint32_t Index) const {
  return Index < Directories.size() ? Directories[Index] : DataDirectory{};
}

const Section *Image::SectionAt(uint32_t Rva) const {
  for (const Section &S : Sections) {
    uint32_t Span = S.VirtualSize != 0 ? S.VirtualSize : S.RawSize;
    if (Rva >= S.VirtualAddress && Rva - S.VirtualAddress < Span) {
      return &S;
    }
  }
  return nullptr;
}

const Section *Image::FindSection(const std::string &Name) const {
  for (const Section &S : Sections) {
    if (S.Name == Name) {
      return &S;
    }
  }
  return nullptr;
}

ReadResult ReadImage(std::span<const uint8_t> Data) {
  Bytes File(Data);
  if (!File.Holds(0, DosHeaderSize)) {
    return Fail("truncated: " + std::to_string(File.Size()) + " bytes cannot hold the 64-byte DOS header");
  }
  if (File.U16(0) != 0x5A4D) {
    return Fail("not an image: the DOS header does not start with \"MZ\"");
  }
  uint64_t PeOffset = File.U32(NewHeaderPointer);
  if (!File.Holds(PeOffset, 4 + FileHeaderSize)) {
    return Fail("truncated: the PE header at " + Hex(PeOffset) + " lies beyond the end of the file");
  }
  if (File.U32(PeOffset) != 0x00004550) {
    return Fail("not a PE image: no \"PE\\0\\0\" signature at " + Hex(PeOffset));
  }
  Image Result;
  Result.FileSize = File.Size();
  uint64_t Header = PeOffset + 4;
  Result.Machine = File.U16(Header);
  uint32_t SectionCount = File.U16(Header + 2);
  uint32_t OptionalSize = File.U16(Header + 16);
  Result.FileCharacteristics = File.U16(Header + 18);

  uint64_t Optional = Header + FileHeaderSize;
  if (OptionalSize < 2 || !File.Holds(Optional, OptionalSize)) {
    return Fail("truncated: the optional header of " + std::to_string(OptionalSize) + " bytes at " + Hex(Optional) +
                " does not fit in the file");
  }
  Result.Magic = File.U16(Optional);
  OptionalLayout Layout{};
  if (Result.Magic == MagicPe32) {
    Layout = {96, 92};
  } else if (Result.Magic == MagicPe32Plus) {
    Layout = {112, 108};
  } else {
    return Fail("unknown optional header magic " + Hex(Result.Magic) + " (expected 0x10B or 0x20B)");
  }
  if (OptionalSize < Layout.FixedSize) {
    return Fail("optional header of " + std::to_string(OptionalSize) + " bytes is shorter than the " +
                std::to_string(Layout.FixedSize) + " its magic requires");
  }
  Result.EntryPointRva = File.U32(Optional + 16);
  Result.ImageBase = Result.IsPe32Plus() ? File.U64(Optional + 24) : File.U32(Optional + 28);
  Result.SectionAlignment = File.U32(Optional + 32);
  Result.FileAlignment = File.U32(Optional + 36);
  Result.SizeOfImage = File.U32(Optional + 56);
  Result.SizeOfHeaders = File.U32(Optional + 60);
  if (Result.SizeOfHeaders > File.Size()) {
    return Fail("truncated: the header size " + Hex(Result.SizeOfHeaders) + " runs past the end of the file (" +
                std::to_string(File.Size()) + " bytes)");
  }
  Result.Subsystem = File.U16(Optional + 68);
  Result.DllCharacteristics = File.U16(Optional + 70);

  uint32_t DirectoryCount = File.U32(Optional + Layout.DirectoryCount);
  if (DirectoryCount > MaxDirectories || Layout.FixedSize + 8ull * DirectoryCount > OptionalSize) {
    return Fail("optional header declares " + std::to_string(DirectoryCount) +
                " data directories, more than it has room for");
  }
  for (uint32_t Index = 0; Index < DirectoryCount; ++Index) {
    uint64_t At = Optional + Layout.FixedSize + 8ull * Index;
    Result.Directories.push_back({File.U32(At), File.U32(At + 4)});
  }

  uint64_t Table = Optional + OptionalSize;
  if (SectionCount > MaxSections) {
    return Fail(std::to_string(SectionCount) + " sections exceed the limit of " + std::to_string(MaxSections));
  }
  if (!File.Holds(Table, static_cast<uint64_t>(SectionCount) * SectionHeaderSize)) {
    return Fail("truncated: the table of " + std::to_string(SectionCount) + " sections at " + Hex(Table) +
                " runs past the end of the file");
  }
  for (uint32_t Index = 0; Index < SectionCount; ++Index) {
    uint64_t At = Table + static_cast<uint64_t>(Index) * SectionHeaderSize;
    Section S;
    S.Name = File.Name(At);
    S.VirtualSize = File.U32(At + 8);
    S.VirtualAddress = File.U32(At + 12);
    S.RawSize = File.U32(At + 16);
    S.RawOffset = File.U32(At + 20);
    S.Characteristics = File.U32(At + 36);
    if (S.RawSize != 0 && !File.Holds(S.RawOffset, S.RawSize)) {
      return Fail("truncated: section " + S.Name + " has file data " + Hex(S.RawOffset) + "+" + Hex(S.RawSize) +
                  " beyond the end of the file (" + std::to_string(File.Size()) + " bytes)");
    }
    uint64_t Span = S.VirtualSize > S.RawSize ? S.VirtualSize : S.RawSize;
    if (S.VirtualAddress + Span > Result.SizeOfImage) {
      return Fail("section " + S.Name + " at " + Hex(S.VirtualAddress) + "+" + Hex(Span) +
                  " extends past the image size " + Hex(Result.SizeOfImage));
    }
    Result.Sections.push_back(S);
  }
  if (Result.EntryPointRva >= Result.SizeOfImage) {
    return Fail("entry point " + Hex(Result.EntryPointRva) + " lies outside the image size " + Hex(Result.SizeOfImage));
  }
  if (std::optional<std::string> Problem = ReadRelocations(File, Result)) {
    return Fail(*Problem);
  }
  return ReadResult{std::move(Result), {}};
}

ReadResult ReadImageFile(const std::string &Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In) {
    return Fail(Path + ": cannot open the file");
  }
  std::vector<uint8_t> Data((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  ReadResult Result = ReadImage(Data);
  if (!Result.Value) {
    Result.Error = Path + ": " + Result.Error;
  }
  return Result;
}

}  // namespace pe
