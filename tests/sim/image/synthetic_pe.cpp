// The PE writer behind SyntheticPe: DOS stub header, COFF and optional header, four sections.
#include "tests/sim/image/synthetic_pe.h"

#include <cstring>

namespace simtest {

namespace {

constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kHeaders = 0x400;

void Put(std::vector<uint8_t>& b, size_t at, uint64_t value, unsigned width) {
  if (b.size() < at + width) b.resize(at + width);
  for (unsigned i = 0; i < width; ++i) b[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t AlignUp(uint32_t v, uint32_t a) { return (v + a - 1) / a * a; }

}  // namespace

std::vector<uint8_t> Le(uint64_t value, unsigned width) {
  std::vector<uint8_t> b;
  Put(b, 0, value, width);
  return b;
}

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes) {
  to.insert(to.end(), bytes.begin(), bytes.end());
}

std::vector<uint8_t> BuildPe(const SyntheticPe& pe) {
  // .reloc: one block per 4 KiB page of .text holding fixups.
  std::vector<uint8_t> reloc;
  const uint16_t type = pe.is64 ? 10 : 3;
  for (uint32_t page = 0; page < AlignUp(static_cast<uint32_t>(pe.text.size()) + 1, 0x1000); page += 0x1000) {
    std::vector<uint16_t> entries;
    for (uint32_t f : pe.text_fixups) {
      if (f >= page && f < page + 0x1000) entries.push_back(static_cast<uint16_t>((type << 12) | (f - page)));
    }
    if (entries.empty()) continue;
    if (entries.size() % 2 != 0) entries.push_back(0);
    const size_t at = reloc.size();
    Put(reloc, at, pe.TextRva() + page, 4);
    Put(reloc, at + 4, 8 + 2 * entries.size(), 4);
    for (size_t i = 0; i < entries.size(); ++i) Put(reloc, at + 8 + 2 * i, entries[i], 2);
  }

  struct Sec {
    const char* name;
    const std::vector<uint8_t>* bytes;
    uint32_t rva;
    uint32_t flags;
  };
  const Sec secs[4] = {{".text", &pe.text, pe.TextRva(), 0x60000020},
                       {".rdata", &pe.rdata, pe.RdataRva(), 0x40000040},
                       {".data", &pe.data, pe.DataRva(), 0xC0000040},
                       {".reloc", &reloc, 4 * pe.section_alignment, 0x42000040}};
  std::vector<uint8_t> b(kHeaders, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put(b, 0x3C, 0x40, 4);
  Put(b, 0x40, 0x00004550, 4);
  const size_t coff = 0x44, opt = coff + 20;
  const uint16_t opt_size = pe.is64 ? 240 : 224;
  Put(b, coff, pe.is64 ? 0x8664 : 0x14C, 2);
  Put(b, coff + 2, 4, 2);
  Put(b, coff + 16, opt_size, 2);
  Put(b, coff + 18, pe.is64 ? 0x0022 : 0x0102, 2);
  Put(b, opt, pe.is64 ? 0x20B : 0x10B, 2);
  Put(b, opt + 16, pe.TextRva() + pe.entry, 4);
  Put(b, opt + 20, pe.TextRva(), 4);
  if (pe.is64) {
    Put(b, opt + 24, pe.image_base, 8);
  } else {
    Put(b, opt + 24, pe.RdataRva(), 4);
    Put(b, opt + 28, pe.image_base, 4);
  }
  Put(b, opt + 32, pe.section_alignment, 4);
  const uint32_t file_alignment = pe.in_place ? pe.section_alignment : kFileAlignment;
  Put(b, opt + 36, file_alignment, 4);
  Put(b, opt + 56, 5 * pe.section_alignment, 4);  // SizeOfImage
  Put(b, opt + 60, kHeaders, 4);
  Put(b, opt + 68, 11, 2);  // EFI boot-service driver
  const size_t dirs = opt + (pe.is64 ? 112 : 96);
  Put(b, dirs - 4, 16, 4);  // NumberOfRvaAndSizes
  Put(b, dirs + 5 * 8, 4 * pe.section_alignment, 4);
  Put(b, dirs + 5 * 8 + 4, reloc.size(), 4);
  size_t header = opt + opt_size;
  uint32_t raw = pe.in_place ? pe.TextRva() : kHeaders;
  for (const Sec& s : secs) {
    std::memcpy(b.data() + header, s.name, std::strlen(s.name));
    const uint32_t size = static_cast<uint32_t>(s.bytes->size());
    // In place, every section fills its pages in the file too (its virtual size never exceeds its file data).
    const uint32_t raw_size =
        pe.in_place ? AlignUp(size == 0 ? 1 : size, file_alignment) : AlignUp(size, kFileAlignment);
    if (pe.in_place) raw = s.rva;
    Put(b, header + 8, size == 0 ? 1 : size, 4);
    Put(b, header + 12, s.rva, 4);
    Put(b, header + 16, raw_size, 4);
    Put(b, header + 20, raw_size == 0 ? 0 : raw, 4);
    Put(b, header + 36, s.flags, 4);
    b.resize(raw + raw_size, 0);
    if (size != 0) std::memcpy(b.data() + raw, s.bytes->data(), size);
    raw += raw_size;
    header += 40;
  }
  return b;
}

}  // namespace simtest
