// A minimal PE32 or PE32+ image built in memory for the PE reader's and the rebase's tests, with setters to damage
// its fields.
#pragma once
#include <cstdint>
#include <vector>

#include "firmware/pe/pe_image.h"

namespace petest {

// A minimal image: DOS header, PE header, optional header, .text at RVA 0x1000 (file 0x200) and .reloc
// at RVA 0x2000 (file 0x400) with one relocation block of two fixups and a padding entry.
struct TestImage {
  bool Plus = true;
  std::vector<uint8_t> Bytes;

  static constexpr uint32_t PeOffset = 0x40;
  static constexpr uint32_t Optional = PeOffset + 24;
  uint32_t OptionalSize() const { return Plus ? 240 : 224; }
  uint32_t SectionTable() const { return Optional + OptionalSize(); }
  uint32_t DirectoryOffset(uint32_t Index) const { return Optional + (Plus ? 112 : 96) + 8 * Index; }

  void Put16(uint32_t At, uint16_t V) {
    Bytes[At] = static_cast<uint8_t>(V);
    Bytes[At + 1] = static_cast<uint8_t>(V >> 8);
  }
  void Put32(uint32_t At, uint32_t V) {
    Put16(At, static_cast<uint16_t>(V));
    Put16(At + 2, static_cast<uint16_t>(V >> 16));
  }
  void PutSection(uint32_t Index, const char* Name, uint32_t Rva, uint32_t Size, uint32_t Raw, uint32_t Flags) {
    uint32_t At = SectionTable() + 40 * Index;
    for (uint32_t I = 0; Name[I] != 0 && I < 8; ++I) {
      Bytes[At + I] = static_cast<uint8_t>(Name[I]);
    }
    Put32(At + 8, Size);
    Put32(At + 12, Rva);
    Put32(At + 16, 0x200);
    Put32(At + 20, Raw);
    Put32(At + 36, Flags);
  }

  explicit TestImage(bool Pe32Plus) : Plus(Pe32Plus), Bytes(0x600, 0) {
    Bytes[0] = 'M';
    Bytes[1] = 'Z';
    Put32(0x3C, PeOffset);
    Put32(PeOffset, 0x00004550);
    Put16(PeOffset + 4, Plus ? pe::MachineAmd64 : pe::MachineI386);
    Put16(PeOffset + 6, 2);
    Put16(PeOffset + 20, static_cast<uint16_t>(OptionalSize()));
    Put16(PeOffset + 22, 0x0022);
    Put16(Optional, Plus ? pe::MagicPe32Plus : pe::MagicPe32);
    Put32(Optional + 16, 0x1010);  // entry point
    if (Plus) {
      Put32(Optional + 24, 0x40000000);
      Put32(Optional + 28, 0x1);  // ImageBase 0x1'40000000
    } else {
      Put32(Optional + 28, 0x00400000);
    }
    Put32(Optional + 32, 0x1000);
    Put32(Optional + 36, 0x200);
    Put32(Optional + 56, 0x3000);  // SizeOfImage
    Put32(Optional + 60, 0x200);
    Put16(Optional + 68, pe::SubsystemEfiBootServiceDriver);
    Put16(Optional + 70, 0x0140);
    Put32(Optional + (Plus ? 108 : 92), 16);
    PutSection(0, ".text", 0x1000, 0x40, 0x200, pe::ScnCode | pe::ScnExecute | pe::ScnRead);
    PutSection(1, ".reloc", 0x2000, 0x0C, 0x400, pe::ScnInitializedData | pe::ScnRead | pe::ScnDiscardable);
    Put32(DirectoryOffset(pe::DirBaseReloc), 0x2000);
    Put32(DirectoryOffset(pe::DirBaseReloc) + 4, 0x0C);
    uint16_t Type = Plus ? pe::RelDir64 : pe::RelHighLow;
    Put32(0x400, 0x1000);  // page
    Put32(0x404, 0x0C);    // block size: header and two entries
    Put16(0x408, static_cast<uint16_t>((Type << 12) | 0x020));
    Put16(0x40A, 0x0000);  // padding
  }

  pe::ReadResult Read() const { return pe::ReadImage(Bytes); }
};

}  // namespace petest
