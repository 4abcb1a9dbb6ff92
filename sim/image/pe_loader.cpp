// Loading a PE32+ driver image: checks on top of the bounds-checked reader, mapping, relocation, protection.
#include "sim/image/pe_loader.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "firmware/pe/pe_image.h"
#include "sim/common/hex_text.h"

namespace sim {

namespace {

constexpr uint32_t kMaxImageSize = 64u << 20;  // far above any driver; bounds the mapping a corrupt header asks for
constexpr uint16_t kRelocsStripped = 0x0001;

uint64_t SectionSpan(const pe::Section& s) { return s.VirtualSize != 0 ? s.VirtualSize : s.RawSize; }

// Everything that must hold before a byte is mapped; an empty string when the image is acceptable.
std::string CheckImage(const pe::Image& image, size_t page) {
  if (image.Machine != pe::MachineAmd64)
    return "machine type " + Hex(image.Machine) + " is not x86-64 (" + Hex(pe::MachineAmd64) + ")";
  if (!image.IsPe32Plus()) return "optional header magic " + Hex(image.Magic) + " is not PE32+ (0x20B)";
  if (image.Subsystem != pe::SubsystemEfiBootServiceDriver && image.Subsystem != pe::SubsystemEfiRuntimeDriver)
    return "subsystem " + std::to_string(image.Subsystem) + " is not an EFI driver (11 or 12)";
  if (image.SizeOfImage == 0 || image.SizeOfImage > kMaxImageSize)
    return "image size " + Hex(image.SizeOfImage) + " is not between 1 byte and " + Hex(kMaxImageSize);
  if (image.SizeOfHeaders > image.SizeOfImage || image.SizeOfHeaders > image.FileSize)
    return "header size " + Hex(image.SizeOfHeaders) + " exceeds the image or the file";
  const uint32_t align = image.SectionAlignment;
  if (align < page || (align & (align - 1)) != 0)
    return "section alignment " + Hex(align) + " is not a power of two of at least the page size " + Hex(page) +
           " (sections could not be protected separately)";
  if (image.Sections.empty()) return "the image has no sections";
  if (image.DirectoryAt(pe::DirImport).Size != 0)
    return "the image has an import directory; a driver gets every service through its tables, none by name";
  uint64_t previous_end = image.SizeOfHeaders;
  for (const pe::Section& s : image.Sections) {
    if (s.VirtualAddress % align != 0) return "section " + s.Name + " at " + Hex(s.VirtualAddress) + " is not aligned";
    if (s.VirtualAddress < previous_end)
      return "section " + s.Name + " at " + Hex(s.VirtualAddress) + " overlaps the headers or the previous section";
    if (s.Has(pe::ScnWrite) && s.Has(pe::ScnExecute)) return "section " + s.Name + " is writable and executable";
    previous_end = s.VirtualAddress + SectionSpan(s);
  }
  const pe::Section* entry = image.SectionAt(image.EntryPointRva);
  if (entry == nullptr || !entry->Has(pe::ScnExecute))
    return "entry point " + Hex(image.EntryPointRva) + " is not in an executable section";
  bool has_fixups = false;
  for (const pe::Relocation& r : image.Relocations) {
    if (r.Type == pe::RelAbsolute) continue;
    if (r.Type != pe::RelDir64)
      return "base relocation of type " + std::to_string(r.Type) + " at " + Hex(r.Rva) +
             ": an x86-64 image has only DIR64 (10) fixups";
    if (static_cast<uint64_t>(r.Rva) + 8 > image.SizeOfImage)
      return "base relocation at " + Hex(r.Rva) + " lies outside the image of " + Hex(image.SizeOfImage) + " bytes";
    has_fixups = true;
  }
  if ((image.FileCharacteristics & kRelocsStripped) != 0 || (!has_fixups && image.DirectoryAt(pe::DirBaseReloc).Size == 0))
    return "the image has no base relocations, so it cannot be placed at an address of the simulator's choosing";
  return {};
}

int Protection(const pe::Section& s) {
  int prot = 0;
  if (s.Has(pe::ScnRead)) prot |= PROT_READ;
  if (s.Has(pe::ScnWrite)) prot |= PROT_WRITE;
  if (s.Has(pe::ScnExecute)) prot |= PROT_EXEC;
  return prot;
}

}  // namespace

LoadedPeImage::~LoadedPeImage() { munmap(base_, mapped_size_); }

PeLoadResult LoadPeImage(std::span<const uint8_t> bytes) {
  pe::ReadResult read = pe::ReadImage(bytes);
  if (!read.Value) return {nullptr, read.Error};
  const pe::Image& image = *read.Value;
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  if (std::string problem = CheckImage(image, page); !problem.empty()) return {nullptr, problem};

  const size_t mapped = (image.SizeOfImage + page - 1) / page * page;
  void* memory = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return {nullptr, "cannot map " + Hex(mapped) + " bytes for the image: " + std::strerror(errno)};
  auto loaded = std::make_shared<LoadedPeImage>(static_cast<uint8_t*>(memory), mapped, image.SizeOfImage,
                                                image.EntryPointRva);
  uint8_t* base = loaded->Base();
  // Anonymous memory is zero: the tail of each section past its file data (uninitialised data) stays zero.
  std::memcpy(base, bytes.data(), image.SizeOfHeaders);
  for (const pe::Section& s : image.Sections) {
    const uint64_t copy = s.VirtualSize != 0 && s.VirtualSize < s.RawSize ? s.VirtualSize : s.RawSize;
    if (copy != 0) std::memcpy(base + s.VirtualAddress, bytes.data() + s.RawOffset, copy);
  }
  const uint64_t delta = reinterpret_cast<uint64_t>(base) - image.ImageBase;
  for (const pe::Relocation& r : image.Relocations) {
    if (r.Type != pe::RelDir64) continue;
    uint64_t value;
    std::memcpy(&value, base + r.Rva, 8);
    value += delta;
    std::memcpy(base + r.Rva, &value, 8);
  }
  mprotect(base, mapped, PROT_READ);
  for (const pe::Section& s : image.Sections) {
    const size_t length = (SectionSpan(s) + page - 1) / page * page;
    if (length != 0 && mprotect(base + s.VirtualAddress, length, Protection(s)) != 0)
      return {nullptr, "cannot protect section " + s.Name + ": " + std::strerror(errno)};
  }
  return {loaded, {}};
}

PeLoadResult LoadPeImageFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {nullptr, path + ": cannot open the image file"};
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  PeLoadResult result = LoadPeImage(data);
  if (!result.image) result.error = path + ": " + result.error;
  return result;
}

}  // namespace sim
