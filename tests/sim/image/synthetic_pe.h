// Small PE32/PE32+ images built in memory for the runner's tests: code, read-only data, writable data and base
// relocations at known places, so a test can make an image do exactly one thing (call a trap, write its own
// code, jump outside it, spin).
#pragma once
#include <cstdint>
#include <vector>

namespace simtest {

struct SyntheticPe {
  bool is64 = false;
  uint64_t image_base = 0x10000000;
  std::vector<uint8_t> text, rdata, data;
  // Offsets in .text that hold an absolute address (image base + RVA, 4 or 8 bytes): each gets a base relocation.
  std::vector<uint32_t> text_fixups;
  uint32_t entry = 0;  // offset of the entry point in .text
  uint32_t section_alignment = 0x1000;
  // Laid out in the file as in memory (each section at its RVA, file alignment = section alignment), as an image
  // executing in place from flash is.
  bool in_place = false;

  // Where the sections land (RVAs): .text, .rdata, .data, then .reloc, one section alignment apart.
  uint32_t TextRva() const { return section_alignment; }
  uint32_t RdataRva() const { return 2 * section_alignment; }
  uint32_t DataRva() const { return 3 * section_alignment; }
  // The absolute address of an RVA at the link address.
  uint64_t At(uint32_t rva) const { return image_base + rva; }
};

std::vector<uint8_t> BuildPe(const SyntheticPe& pe);

// Little-endian bytes of a value, for splicing addresses into code.
std::vector<uint8_t> Le(uint64_t value, unsigned width);
void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes);

}  // namespace simtest
