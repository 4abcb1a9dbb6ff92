// Placing a PE32/PE32+ image for the emulator: checks on top of the bounds-checked reader, placement,
// relocation. Protections are the emulator's business (ImageMachine maps the pages).
#include "sim/image/placed_image.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "firmware/fv/pe_rebase.h"
#include "firmware/pe/pe_image.h"
#include "sim/common/hex_text.h"
#include "sim/common/host_pages.h"

namespace sim {

namespace {

constexpr uint32_t kMaxImageSize = 64u << 20;  // far above either module; bounds what a corrupt header asks for
constexpr uint16_t kRelocsStripped = 0x0001;

uint64_t SectionSpan(const pe::Section& s) { return s.VirtualSize != 0 ? s.VirtualSize : s.RawSize; }

// Everything that must hold before a byte is placed; empty when the image is acceptable.
std::string CheckImage(const pe::Image& image, size_t page) {
  const bool is64 = image.Machine == pe::MachineAmd64;
  if (!is64 && image.Machine != pe::MachineI386)
    return "machine type " + Hex(image.Machine) + " is neither IA-32 (0x14C) nor x86-64 (0x8664)";
  if (is64 != image.IsPe32Plus())
    return "optional header magic " + Hex(image.Magic) + " does not match the machine (" +
           (is64 ? "PE32+ 0x20B" : "PE32 0x10B") + ")";
  if (image.Subsystem != pe::SubsystemEfiBootServiceDriver && image.Subsystem != pe::SubsystemEfiRuntimeDriver)
    return "subsystem " + std::to_string(image.Subsystem) + " is not an EFI driver (11 or 12)";
  if (image.SizeOfImage == 0 || image.SizeOfImage > kMaxImageSize)
    return "image size " + Hex(image.SizeOfImage) + " is not between 1 byte and " + Hex(kMaxImageSize);
  if (image.SizeOfHeaders > image.SizeOfImage || image.SizeOfHeaders > image.FileSize)
    return "header size " + Hex(image.SizeOfHeaders) + " exceeds the image or the file";
  const uint32_t align = image.SectionAlignment;
  if (align == 0 || (align & (align - 1)) != 0) return "section alignment " + Hex(align) + " is not a power of two";
  // A loaded driver's sections get protections of their own, so they must not share pages; a PEIM executing in
  // place is read-only as a whole and may pack its sections.
  if (is64 && align < page)
    return "section alignment " + Hex(align) + " is below the page size " + Hex(page) +
           " (sections could not be protected separately)";
  if (image.Sections.empty()) return "the image has no sections";
  if (image.DirectoryAt(pe::DirImport).Size != 0)
    return "the image has an import directory; a module gets every service through its tables, none by name";
  uint64_t previous_end = image.SizeOfHeaders;
  for (const pe::Section& s : image.Sections) {
    if (s.VirtualAddress % align != 0) return "section " + s.Name + " at " + Hex(s.VirtualAddress) + " is not aligned";
    if (s.VirtualAddress < previous_end)
      return "section " + s.Name + " at " + Hex(s.VirtualAddress) + " overlaps the headers or the previous section";
    if (s.VirtualAddress + SectionSpan(s) > image.SizeOfImage)
      return "section " + s.Name + " ends past the image size " + Hex(image.SizeOfImage);
    if (s.Has(pe::ScnWrite) && s.Has(pe::ScnExecute)) return "section " + s.Name + " is writable and executable";
    previous_end = s.VirtualAddress + SectionSpan(s);
  }
  const pe::Section* entry = image.SectionAt(image.EntryPointRva);
  if (entry == nullptr || !entry->Has(pe::ScnExecute))
    return "entry point " + Hex(image.EntryPointRva) + " is not in an executable section";
  const uint16_t fixup = is64 ? pe::RelDir64 : pe::RelHighLow;
  const unsigned width = is64 ? 8 : 4;
  bool has_fixups = false;
  for (const pe::Relocation& r : image.Relocations) {
    if (r.Type == pe::RelAbsolute) continue;
    if (r.Type != fixup)
      return "base relocation of type " + std::to_string(r.Type) + " at " + Hex(r.Rva) + ": an " +
             (is64 ? "x86-64 image has only DIR64 (10)" : "IA-32 image has only HIGHLOW (3)") + " fixups";
    if (static_cast<uint64_t>(r.Rva) + width > image.SizeOfImage)
      return "base relocation at " + Hex(r.Rva) + " lies outside the image of " + Hex(image.SizeOfImage) + " bytes";
    has_fixups = true;
  }
  if ((image.FileCharacteristics & kRelocsStripped) != 0 || !has_fixups)
    return "the image has no base relocations, so it cannot be placed at an address of the simulator's choosing";
  return {};
}

std::string RangeText(uint64_t start, uint64_t size) { return Hex(start) + ".." + Hex(start + size - 1); }

// Why an image executing in place cannot run at its link address, or empty.
std::string InPlaceOverlap(const pe::Image& image, std::span<const ReservedRange> reserved) {
  const ReservedRange* r = OverlappedRange(image.ImageBase, image.SizeOfImage, reserved);
  if (r == nullptr) return {};
  return "the image is linked at " + RangeText(image.ImageBase, image.SizeOfImage) + ", over the platform's " +
         r->name + " at " + RangeText(r->base, r->size) +
         "; a PEI module executing in place runs at its link address and cannot be moved (rebase it to an "
         "address outside the platform's windows, such as its place in flash)";
}

}  // namespace

PlacedImage::PlacedImage(uint8_t* host, size_t mapped, bool is64, uint64_t entry_rva, uint32_t image_size,
                         std::vector<PlacedSection> sections, unsigned fixups)
    : host_(host),
      guest_(reinterpret_cast<uintptr_t>(host)),
      mapped_(mapped),
      is64_(is64),
      entry_rva_(entry_rva),
      image_size_(image_size),
      sections_(std::move(sections)),
      fixups_(fixups) {}

PlacedImage::PlacedImage(uint8_t* host, uint64_t guest, bool is64, uint64_t entry_rva, uint32_t image_size,
                         std::vector<PlacedSection> sections)
    : host_(host),
      guest_(guest),
      owned_(false),
      mapped_(image_size),
      is64_(is64),
      entry_rva_(entry_rva),
      image_size_(image_size),
      sections_(std::move(sections)),
      fixups_(0) {}

PlacedImage::~PlacedImage() {
  if (owned_) munmap(host_, mapped_);
}

const PlacedSection* PlacedImage::SectionAt(uint64_t address) const {
  for (const PlacedSection& s : sections_) {
    if (address >= s.start && address < s.end) return &s;
  }
  return nullptr;
}

PlaceResult PlaceImage(std::span<const uint8_t> bytes, std::optional<uint64_t> base,
                       std::span<const ReservedRange> reserved) {
  pe::ReadResult read = pe::ReadImage(bytes);
  if (!read.Value) return {nullptr, read.Error};
  const pe::Image& image = *read.Value;
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  if (std::string problem = CheckImage(image, page); !problem.empty()) return {nullptr, problem};
  const bool is64 = image.IsPe32Plus();
  const size_t mapped = (image.SizeOfImage + page - 1) / page * page;
  const uint64_t limit = is64 ? ~0ull : 0x100000000ull;
  if (base && (*base % page != 0 || *base == 0 || *base > limit - mapped))
    return {nullptr, "placement address " + Hex(*base) + " is not a page-aligned address the image fits at"};

  void* memory = nullptr;
  if (base) {
    if (const ReservedRange* r = OverlappedRange(*base, mapped, reserved))
      return {nullptr, "placement address " + Hex(*base) + " puts the image over the platform's " + r->name + " at " +
                           RangeText(r->base, r->size)};
    memory = MapPagesAt(*base, mapped);
    if (memory == nullptr) return {nullptr, "the address range at " + Hex(*base) + " is taken in this process"};
  } else {
    if (!is64) {
      if (std::string overlap = InPlaceOverlap(image, reserved); !overlap.empty()) return {nullptr, overlap};
    }
    if (image.ImageBase % page == 0 && image.ImageBase != 0 && image.ImageBase <= limit - mapped &&
        OverlappedRange(image.ImageBase, mapped, reserved) == nullptr)
      memory = MapPagesAt(image.ImageBase, mapped);
    if (memory == nullptr) memory = MapPagesClearOf(mapped, limit, reserved);
    if (memory == nullptr)
      return {nullptr, "no room for " + Hex(mapped) + " bytes of image" + (is64 ? std::string() : " below 4 GiB") +
                           " clear of the platform's windows"};
  }
  uint8_t* host = static_cast<uint8_t*>(memory);
  // Anonymous memory is zero: the tail of each section past its file data (uninitialised data) stays zero.
  std::memcpy(host, bytes.data(), image.SizeOfHeaders);
  std::vector<PlacedSection> sections;
  const uint64_t at = reinterpret_cast<uintptr_t>(host);
  for (const pe::Section& s : image.Sections) {
    const uint64_t copy = s.VirtualSize != 0 && s.VirtualSize < s.RawSize ? s.VirtualSize : s.RawSize;
    if (copy != 0) std::memcpy(host + s.VirtualAddress, bytes.data() + s.RawOffset, copy);
    sections.push_back({s.Name, at + s.VirtualAddress, at + s.VirtualAddress + SectionSpan(s), s.Has(pe::ScnRead),
                        s.Has(pe::ScnWrite), s.Has(pe::ScnExecute)});
  }
  const uint64_t delta = at - image.ImageBase;
  unsigned fixups = 0;
  for (const pe::Relocation& r : image.Relocations) {
    if (r.Type == pe::RelDir64) {
      uint64_t value;
      std::memcpy(&value, host + r.Rva, 8);
      value += delta;
      std::memcpy(host + r.Rva, &value, 8);
      ++fixups;
    } else if (r.Type == pe::RelHighLow) {
      uint32_t value;
      std::memcpy(&value, host + r.Rva, 4);
      value += static_cast<uint32_t>(delta);
      std::memcpy(host + r.Rva, &value, 4);
      ++fixups;
    }
  }
  return {std::make_unique<PlacedImage>(host, mapped, is64, image.EntryPointRva, image.SizeOfImage, std::move(sections),
                                        fixups),
          {}};
}

PlaceResult AdoptImageInPlace(std::span<const uint8_t> host, uint64_t guest, std::span<const ReservedRange> reserved) {
  pe::ReadResult read = pe::ReadImage(host);
  if (!read.Value) return {nullptr, read.Error};
  const pe::Image& image = *read.Value;
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  if (std::string problem = CheckImage(image, page); !problem.empty()) return {nullptr, problem};
  if (image.IsPe32Plus()) return {nullptr, "an x86-64 image; only an IA-32 PEI module executes in place"};
  if (std::string overlap = InPlaceOverlap(image, reserved); !overlap.empty()) return {nullptr, overlap};
  if (image.ImageBase != guest)
    return {nullptr, "the image is linked for " + Hex(image.ImageBase) + " but executes in place at " + Hex(guest) +
                         ": it was not rebased for this address"};
  if (guest + image.SizeOfImage > 0x100000000ull) return {nullptr, "the image at " + Hex(guest) + " ends past 4 GiB"};
  if (std::string why = fv::WhyNotInPlace(image); !why.empty())
    return {nullptr, "the image is not its own memory image, so it cannot execute in place: " + why};
  std::vector<PlacedSection> sections;
  for (const pe::Section& s : image.Sections) {
    sections.push_back({s.Name, guest + s.VirtualAddress, guest + s.VirtualAddress + SectionSpan(s), s.Has(pe::ScnRead),
                        s.Has(pe::ScnWrite), s.Has(pe::ScnExecute)});
  }
  return {std::make_unique<PlacedImage>(const_cast<uint8_t*>(host.data()), guest, false, image.EntryPointRva,
                                        image.SizeOfImage, std::move(sections)),
          {}};
}

PlaceResult PlaceImageFile(const std::string& path, std::optional<uint64_t> base,
                           std::span<const ReservedRange> reserved) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {nullptr, path + ": cannot open the image file"};
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  PlaceResult result = PlaceImage(data, base, reserved);
  if (!result.image) result.error = path + ": " + result.error;
  return result;
}

}  // namespace sim
