// A reader of PE32/PE32+ image headers, sections and base relocations, for checking the firmware images.
// Every offset and size is checked against the file, so a truncated or corrupt image gives an error.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pe {

constexpr uint16_t MachineI386 = 0x014C;
constexpr uint16_t MachineAmd64 = 0x8664;
constexpr uint16_t MagicPe32 = 0x010B;
constexpr uint16_t MagicPe32Plus = 0x020B;
constexpr uint16_t SubsystemEfiApplication = 10;
constexpr uint16_t SubsystemEfiBootServiceDriver = 11;
constexpr uint16_t SubsystemEfiRuntimeDriver = 12;

// Data directory positions.
enum Directory : uint32_t {
  DirExport = 0,
  DirImport = 1,
  DirResource = 2,
  DirException = 3,
  DirSecurity = 4,
  DirBaseReloc = 5,
  DirDebug = 6,
  DirTls = 9,
  DirLoadConfig = 10,
  DirBoundImport = 11,
  DirIat = 12,
  DirDelayImport = 13,
};

// Section characteristics.
constexpr uint32_t ScnCode = 0x00000020;
constexpr uint32_t ScnInitializedData = 0x00000040;
constexpr uint32_t ScnUninitializedData = 0x00000080;
constexpr uint32_t ScnDiscardable = 0x02000000;
constexpr uint32_t ScnExecute = 0x20000000;
constexpr uint32_t ScnRead = 0x40000000;
constexpr uint32_t ScnWrite = 0x80000000;

// Base relocation types.
constexpr uint16_t RelAbsolute = 0;  // padding entry, applies nothing
constexpr uint16_t RelHighLow = 3;   // 32-bit address
constexpr uint16_t RelDir64 = 10;    // 64-bit address

struct DataDirectory {
  uint32_t Rva = 0;
  uint32_t Size = 0;
};

struct Section {
  std::string Name;
  uint32_t VirtualSize = 0;
  uint32_t VirtualAddress = 0;
  uint32_t RawSize = 0;
  uint32_t RawOffset = 0;
  uint32_t Characteristics = 0;

  bool Has(uint32_t Flag) const { return (Characteristics & Flag) != 0; }
};

// One fixup of the base relocation directory.
struct Relocation {
  uint32_t Rva = 0;
  uint16_t Type = 0;
};

struct Image {
  uint16_t Machine = 0;
  uint16_t FileCharacteristics = 0;
  uint16_t Magic = 0;
  uint32_t EntryPointRva = 0;
  uint64_t ImageBase = 0;
  uint32_t SectionAlignment = 0;
  uint32_t FileAlignment = 0;
  uint32_t SizeOfImage = 0;
  uint32_t SizeOfHeaders = 0;
  uint16_t Subsystem = 0;
  uint16_t DllCharacteristics = 0;
  std::vector<DataDirectory> Directories;  // as many as the header declares (at most 16)
  std::vector<Section> Sections;
  std::vector<Relocation> Relocations;  // every entry of the base relocation directory, padding included
  uint64_t FileSize = 0;

  bool IsPe32Plus() const { return Magic == MagicPe32Plus; }
  // The directory at Index, or an empty one when the header declares fewer.
  DataDirectory DirectoryAt(uint32_t Index) const;
  // The section holding Rva in its virtual range, or null.
  const Section *SectionAt(uint32_t Rva) const;
  const Section *FindSection(const std::string &Name) const;
};

struct ReadResult {
  std::optional<Image> Value;
  std::string Error;  // set when Value is empty: what is wrong and where
};

// Parses the headers, the section table and the base relocation directory of a file image.
ReadResult ReadImage(std::span<const uint8_t> Bytes);
// Reads the file at Path and parses it; a missing file is an error naming the path.
ReadResult ReadImageFile(const std::string &Path);

}  // namespace pe
