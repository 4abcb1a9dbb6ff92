// Rebasing PE images in their file bytes.
#include "firmware/fv/pe_rebase.h"

#include <cstdio>
#include <cstring>

namespace fv {

namespace {

constexpr uint32_t kPeOffsetField = 0x3C;
constexpr uint32_t kFileHeaderSize = 20;
constexpr uint32_t kImageBase32 = 28, kImageBase64 = 24;  // in the optional header

// The file offset of `size` bytes at an RVA, or -1 when they are not all in the file.
int64_t FileOffset(const pe::Image& image, uint32_t rva, uint32_t size) {
  if (rva + static_cast<uint64_t>(size) <= image.SizeOfHeaders) return rva;
  for (const pe::Section& s : image.Sections) {
    if (rva >= s.VirtualAddress &&
        rva + static_cast<uint64_t>(size) <= s.VirtualAddress + static_cast<uint64_t>(s.RawSize))
      return static_cast<int64_t>(s.RawOffset) + (rva - s.VirtualAddress);
  }
  return -1;
}

std::string HexText(uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
  return text;
}

}  // namespace

bool RebaseImage(std::vector<uint8_t>& file, uint64_t new_base, std::string& error) {
  pe::ReadResult read = pe::ReadImage(file);
  if (!read.Value) {
    error = read.Error;
    return false;
  }
  const pe::Image& image = *read.Value;
  const bool is64 = image.IsPe32Plus();
  if (!is64 && new_base > 0xFFFFFFFFu - image.SizeOfImage) {
    error = "base " + HexText(new_base) + " puts a PE32 image past 4 GiB";
    return false;
  }
  const uint64_t delta = new_base - image.ImageBase;
  for (const pe::Relocation& r : image.Relocations) {
    if (r.Type == pe::RelAbsolute) continue;
    const uint32_t width = r.Type == pe::RelDir64 ? 8 : 4;
    if ((r.Type != pe::RelHighLow || is64) && (r.Type != pe::RelDir64 || !is64)) {
      error = "relocation type " + std::to_string(r.Type) + " at RVA " + HexText(r.Rva) + " cannot be applied";
      return false;
    }
    const int64_t at = FileOffset(image, r.Rva, width);
    if (at < 0) {
      error = "relocation at RVA " + HexText(r.Rva) + " lies outside the file's data";
      return false;
    }
    if (width == 8) {
      uint64_t v;
      std::memcpy(&v, file.data() + at, 8);
      v += delta;
      std::memcpy(file.data() + at, &v, 8);
    } else {
      uint32_t v;
      std::memcpy(&v, file.data() + at, 4);
      v += static_cast<uint32_t>(delta);
      std::memcpy(file.data() + at, &v, 4);
    }
  }
  uint32_t pe_offset;
  std::memcpy(&pe_offset, file.data() + kPeOffsetField, 4);
  const size_t field = pe_offset + 4 + kFileHeaderSize + (is64 ? kImageBase64 : kImageBase32);
  if (is64) {
    std::memcpy(file.data() + field, &new_base, 8);
  } else {
    const uint32_t base32 = static_cast<uint32_t>(new_base);
    std::memcpy(file.data() + field, &base32, 4);
  }
  return true;
}

std::string WhyNotInPlace(const pe::Image& image) {
  if (image.SizeOfImage > image.FileSize)
    return "the image needs " + HexText(image.SizeOfImage) + " bytes in memory but the file holds " +
           HexText(image.FileSize);
  for (const pe::Section& s : image.Sections) {
    if (s.RawOffset != s.VirtualAddress)
      return "section " + s.Name + " is at file offset " + HexText(s.RawOffset) + " but at RVA " +
             HexText(s.VirtualAddress);
    if (s.VirtualSize > s.RawSize)
      return "section " + s.Name + " has " + HexText(s.VirtualSize - s.RawSize) +
             " bytes of uninitialised data, which flash cannot hold";
  }
  return {};
}

}  // namespace fv
