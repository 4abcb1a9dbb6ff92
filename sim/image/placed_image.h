// A PE32 (IA-32) or PE32+ (x86-64) UEFI/PI image placed in host memory for the emulator: headers and sections
// copied, uninitialised data zero, base relocations applied for the address it lands at (its link address or a
// chosen one). The host address is the guest address. Nothing of the image runs here.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/common/reserved_range.h"

namespace sim {

struct PlacedSection {
  std::string name;
  uint64_t start = 0;  // guest address
  uint64_t end = 0;    // one past the last byte (virtual size)
  bool read = false, write = false, execute = false;
};

class PlacedImage {
 public:
  // Takes over the mapping at `host` (munmapped on destruction).
  PlacedImage(uint8_t* host, size_t mapped, bool is64, uint64_t entry_rva, uint32_t image_size,
              std::vector<PlacedSection> sections, unsigned fixups);
  // An image that stays where it is (`host`, owned by the caller) and that the guest sees at `guest`.
  PlacedImage(uint8_t* host, uint64_t guest, bool is64, uint64_t entry_rva, uint32_t image_size,
              std::vector<PlacedSection> sections);
  ~PlacedImage();
  PlacedImage(const PlacedImage&) = delete;
  PlacedImage& operator=(const PlacedImage&) = delete;

  bool Is64() const { return is64_; }
  // The guest address (the host address, except for an image adopted in place).
  uint64_t Base() const { return guest_; }
  uint8_t* Host() const { return host_; }
  // The whole pages the image occupies, and the image's own size.
  size_t MappedSize() const { return mapped_; }
  uint32_t ImageSize() const { return image_size_; }
  uint64_t Entry() const { return Base() + entry_rva_; }
  // An IA-32 PEI image runs in place from flash: every page is read-only to it.
  bool ExecutesInPlace() const { return !is64_; }
  const std::vector<PlacedSection>& Sections() const { return sections_; }
  // The section holding a guest address, or null.
  const PlacedSection* SectionAt(uint64_t address) const;
  // Fixups applied (relocation entries other than padding).
  unsigned Fixups() const { return fixups_; }

 private:
  uint8_t* host_;
  uint64_t guest_;
  bool owned_ = true;
  size_t mapped_;
  bool is64_;
  uint64_t entry_rva_;
  uint32_t image_size_;
  std::vector<PlacedSection> sections_;
  unsigned fixups_;
};

struct PlaceResult {
  std::unique_ptr<PlacedImage> image;  // null when refused
  std::string error;                   // why
};

// Places the image at `base` (page-aligned; an IA-32 image below 4 GiB) or, without one, at its link address
// when that is free in this process and elsewhere otherwise. Refuses, naming the problem, anything but a
// relocatable EFI driver or PEIM of either machine whose headers, sections, relocations and entry point hold.
// No placement overlaps a `reserved` range: a driver linked over one is placed elsewhere and relocated, as a
// loader does; an IA-32 PEI module, which executes in place at its link address, is refused (so is a `base`
// over one). Only when the link address is taken by the simulator's own process does a PEI module move.
PlaceResult PlaceImage(std::span<const uint8_t> bytes, std::optional<uint64_t> base = std::nullopt,
                       std::span<const ReservedRange> reserved = {});
// An IA-32 image that executes in place from memory the caller keeps (flash): its bytes at `host` are already
// relocated for `guest`, the address the guest sees them at. Nothing is copied or fixed up. Refuses an image that
// PlaceImage would refuse, one linked over a `reserved` range, one linked for another address than `guest` (not
// rebased for it) and one that is not its own memory image (a section at another offset in the file than in
// memory, uninitialised data).
PlaceResult AdoptImageInPlace(std::span<const uint8_t> host, uint64_t guest,
                              std::span<const ReservedRange> reserved = {});
// As PlaceImage for a file; errors start with the path.
PlaceResult PlaceImageFile(const std::string& path, std::optional<uint64_t> base = std::nullopt,
                           std::span<const ReservedRange> reserved = {});

}  // namespace sim
