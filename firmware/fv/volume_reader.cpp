// Firmware volume reading and its checks.
#include "firmware/fv/volume_reader.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <map>

#include "firmware/fv/dependency_expression.h"
#include "firmware/fv/ffs_file_builder.h"
#include "firmware/fv/fv_checksum.h"
#include "uefi/pi_ffs_file.h"
#include "uefi/pi_ffs_section.h"
#include "uefi/pi_firmware_volume.h"

namespace fv {

namespace {

constexpr uint32_t kLargeFileHeader = sizeof(EFI_FFS_FILE_HEADER) + 8;
constexpr uint32_t kLargeSectionHeader = sizeof(EFI_COMMON_SECTION_HEADER) + 4;
constexpr uint64_t kMaxVolumeLength = 0xFFFFFFFFu;  // offsets of files and sections are 32-bit

std::string Hex(uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
  return text;
}

struct Refusal {
  std::string message;
};

[[noreturn]] void Refuse(uint64_t offset, const std::string& what) {
  throw Refusal{"offset " + Hex(offset) + ": " + what};
}

uint32_t Size24(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16; }

template <class T>
T Load(std::span<const uint8_t> bytes, size_t at) {
  T v;
  std::memcpy(&v, bytes.data() + at, sizeof v);
  return v;
}

bool GuidIs(const EFI_GUID& a, const EFI_GUID& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::array<uint8_t, sizeof(EFI_GUID)> GuidBytes(const EFI_GUID& g) {
  std::array<uint8_t, sizeof(EFI_GUID)> bytes;
  std::memcpy(bytes.data(), &g, sizeof g);
  return bytes;
}

bool KnownSection(uint8_t t) {
  switch (t) {
    case EFI_SECTION_COMPRESSION:
    case EFI_SECTION_GUID_DEFINED:
    case EFI_SECTION_DISPOSABLE:
    case EFI_SECTION_PE32:
    case EFI_SECTION_PIC:
    case EFI_SECTION_TE:
    case EFI_SECTION_DXE_DEPEX:
    case EFI_SECTION_VERSION:
    case EFI_SECTION_USER_INTERFACE:
    case EFI_SECTION_COMPATIBILITY16:
    case EFI_SECTION_FIRMWARE_VOLUME_IMAGE:
    case EFI_SECTION_FREEFORM_SUBTYPE_GUID:
    case EFI_SECTION_RAW:
    case EFI_SECTION_PEI_DEPEX:
    case EFI_SECTION_MM_DEPEX: return true;
    default: return false;
  }
}

// A NUL-ended UCS-2 string filling `data` (an odd length or a missing NUL is refused at `offset`).
std::string Ucs2Text(std::span<const uint8_t> data, uint64_t offset, const char* what) {
  if (data.size() % 2 != 0 || data.size() < 2)
    Refuse(offset, std::string(what) + " of " + std::to_string(data.size()) + " bytes is not a UCS-2 string");
  std::string text;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    const uint16_t c = static_cast<uint16_t>(data[i] | data[i + 1] << 8);
    if (c == 0) {
      if (i + 2 != data.size()) Refuse(offset, std::string(what) + " has bytes after its terminating NUL");
      return text;
    }
    text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  }
  Refuse(offset, std::string(what) + " has no terminating NUL");
}

void ReadSections(std::span<const uint8_t> bytes, FvFile& file, uint32_t data_start, uint32_t file_end) {
  uint32_t at = data_start;
  while (true) {
    at = (at - data_start + 3) / 4 * 4 + data_start;
    if (at >= file_end) break;
    if (file_end - at < sizeof(EFI_COMMON_SECTION_HEADER))
      Refuse(at, std::to_string(file_end - at) + " bytes left in file " + GuidString(file.name) +
                     ", too few for a section header");
    FvSection s;
    s.offset = at;
    s.type = bytes[at + 3];
    uint32_t size = Size24(&bytes[at]);
    s.header_size = sizeof(EFI_COMMON_SECTION_HEADER);
    if (size == 0xFFFFFF) {
      if (file_end - at < kLargeSectionHeader) Refuse(at, "a large section's header is cut off by the end of its file");
      size = Load<uint32_t>(bytes, at + 4);
      s.header_size = kLargeSectionHeader;
    }
    if (!KnownSection(s.type)) Refuse(at + 3, "unknown section type " + Hex(s.type));
    if (size < s.header_size) Refuse(at, "section size " + Hex(size) + " is smaller than its header");
    if (size > file_end - at)
      Refuse(at, SectionTypeName(s.type) + " section of " + Hex(size) + " bytes runs past the end of file " +
                     GuidString(file.name) + " at " + Hex(file_end));
    s.data = bytes.subspan(at + s.header_size, size - s.header_size);
    const uint32_t data_at = at + s.header_size;
    if (s.type == EFI_SECTION_DXE_DEPEX || s.type == EFI_SECTION_PEI_DEPEX) {
      size_t bad = 0;
      const std::string problem =
          CheckDepex(s.data, s.type == EFI_SECTION_PEI_DEPEX ? DepexPhase::Pei : DepexPhase::Dxe, bad);
      if (!problem.empty()) Refuse(data_at + bad, "dependency expression: " + problem);
    } else if (s.type == EFI_SECTION_USER_INTERFACE) {
      s.text = Ucs2Text(s.data, data_at, "user-interface name");
    } else if (s.type == EFI_SECTION_VERSION) {
      if (s.data.size() < 2) Refuse(data_at, "version section without its build number");
      s.build = Load<uint16_t>(s.data, 0);
      s.text = Ucs2Text(s.data.subspan(2), data_at + 2, "version string");
    }
    file.sections.push_back(s);
    at += size;
  }
}

bool AllErased(std::span<const uint8_t> bytes, uint8_t erased) {
  for (uint8_t b : bytes) {
    if (b != erased) return false;
  }
  return true;
}

FirmwareVolume Read(std::span<const uint8_t> bytes) {
  FirmwareVolume v;
  if (bytes.size() < sizeof(EFI_FIRMWARE_VOLUME_HEADER))
    Refuse(0, "truncated: " + std::to_string(bytes.size()) + " bytes, a volume header needs " +
                  std::to_string(sizeof(EFI_FIRMWARE_VOLUME_HEADER)));
  const auto h = Load<EFI_FIRMWARE_VOLUME_HEADER>(bytes, 0);
  if (h.Signature != EFI_FVH_SIGNATURE)
    Refuse(offsetof(EFI_FIRMWARE_VOLUME_HEADER, Signature), "signature " + Hex(h.Signature) + " is not \"_FVH\"");
  const EFI_GUID ffs2 = EFI_FIRMWARE_FILE_SYSTEM2_GUID, ffs3 = EFI_FIRMWARE_FILE_SYSTEM3_GUID;
  const bool large_files = GuidIs(h.FileSystemGuid, ffs3);
  if (!large_files && !GuidIs(h.FileSystemGuid, ffs2))
    Refuse(offsetof(EFI_FIRMWARE_VOLUME_HEADER, FileSystemGuid),
           "file system " + GuidString(h.FileSystemGuid) + " is neither FFS2 nor FFS3");
  if (h.Revision != EFI_FVH_REVISION)
    Refuse(offsetof(EFI_FIRMWARE_VOLUME_HEADER, Revision), "revision " + std::to_string(h.Revision) + " is not 2");
  if (h.HeaderLength < sizeof h + 2 * sizeof(EFI_FV_BLOCK_MAP_ENTRY) || h.HeaderLength % 2 != 0)
    Refuse(offsetof(EFI_FIRMWARE_VOLUME_HEADER, HeaderLength),
           "header length " + Hex(h.HeaderLength) + " cannot hold the header and a block map");
  if (h.HeaderLength > bytes.size())
    Refuse(bytes.size(),
           "truncated: the header's " + Hex(h.HeaderLength) + " bytes end past the file's " + Hex(bytes.size()));
  if (h.FvLength > kMaxVolumeLength)
    Refuse(offsetof(EFI_FIRMWARE_VOLUME_HEADER, FvLength),
           "the volume's length " + Hex(h.FvLength) + " is past the 4 GiB a volume's 32-bit file offsets reach");
  if (h.FvLength != bytes.size())
    Refuse(offsetof(EFI_FIRMWARE_VOLUME_HEADER, FvLength),
           (h.FvLength > bytes.size() ? "truncated: the volume's length is " : "the volume's length is ") +
               Hex(h.FvLength) + " but the file holds " + Hex(bytes.size()) + " bytes");
  if (h.FvLength < h.HeaderLength)
    Refuse(offsetof(EFI_FIRMWARE_VOLUME_HEADER, FvLength),
           "volume length " + Hex(h.FvLength) + " is shorter than its header");
  if (Sum16(bytes.first(h.HeaderLength)) != 0)
    Refuse(offsetof(EFI_FIRMWARE_VOLUME_HEADER, Checksum), "header checksum " + Hex(h.Checksum) +
                                                               " is wrong: the header's 16-bit words sum to " +
                                                               Hex(Sum16(bytes.first(h.HeaderLength))) + ", not 0");
  // Block map: runs up to the zero entry, covering the volume exactly.
  uint64_t covered = 0;
  uint32_t at = sizeof h;
  for (;; at += sizeof(EFI_FV_BLOCK_MAP_ENTRY)) {
    if (at + sizeof(EFI_FV_BLOCK_MAP_ENTRY) > h.HeaderLength)
      Refuse(at, "the block map has no terminating entry inside the header");
    const auto e = Load<EFI_FV_BLOCK_MAP_ENTRY>(bytes, at);
    if (e.NumBlocks == 0 && e.Length == 0) break;
    if (e.NumBlocks == 0 || e.Length == 0)
      Refuse(at, "block map entry of " + std::to_string(e.NumBlocks) + " blocks of " + Hex(e.Length) + " bytes");
    if (v.block_size == 0) v.block_size = e.Length;
    // Each run fits in 64 bits; their total is kept from wrapping by stopping at the first run past the volume.
    const uint64_t run = static_cast<uint64_t>(e.NumBlocks) * e.Length;
    if (run > h.FvLength - covered)
      Refuse(at, "the block map covers more than the volume's " + Hex(h.FvLength) + " bytes: this entry of " +
                     std::to_string(e.NumBlocks) + " blocks of " + Hex(e.Length) + " bytes follows " + Hex(covered));
    covered += run;
  }
  if (covered != h.FvLength)
    Refuse(sizeof h, "the block map covers " + Hex(covered) + " bytes, the volume is " + Hex(h.FvLength));
  v.file_system = h.FileSystemGuid;
  v.length = h.FvLength;
  v.attributes = h.Attributes;
  v.header_length = h.HeaderLength;
  v.erase_polarity = (h.Attributes & EFI_FVB2_ERASE_POLARITY) != 0;
  const uint8_t erased = v.erase_polarity ? 0xFF : 0x00;

  // The names seen so far (pad files have none), with the offset of the file: a lookup per file, not a scan.
  std::map<std::array<uint8_t, sizeof(EFI_GUID)>, uint32_t> names;
  uint64_t first = h.HeaderLength;
  if (h.ExtHeaderOffset != 0) {
    // The extended header: a GUID naming the volume and its own size.
    if (h.ExtHeaderOffset < h.HeaderLength || h.ExtHeaderOffset + 20ull > h.FvLength)
      Refuse(offsetof(EFI_FIRMWARE_VOLUME_HEADER, ExtHeaderOffset),
             "extended header offset " + Hex(h.ExtHeaderOffset) + " lies outside the volume's data");
    const uint32_t ext_size = Load<uint32_t>(bytes, h.ExtHeaderOffset + 16);
    if (ext_size < 20 || h.ExtHeaderOffset + static_cast<uint64_t>(ext_size) > h.FvLength)
      Refuse(h.ExtHeaderOffset + 16, "extended header size " + Hex(ext_size) + " runs past the volume");
    first = h.ExtHeaderOffset + static_cast<uint64_t>(ext_size);
  }
  for (uint64_t off = (first + 7) / 8 * 8; off < h.FvLength; off = (off + 7) / 8 * 8) {
    const uint32_t o = static_cast<uint32_t>(off);
    if (h.FvLength - off < sizeof(EFI_FFS_FILE_HEADER)) {
      if (!AllErased(bytes.subspan(o), erased)) Refuse(o, "data after the last file is too short for a file header");
      break;
    }
    if (AllErased(bytes.subspan(o, sizeof(EFI_FFS_FILE_HEADER)), erased)) {
      // Free space to the end.
      for (uint64_t i = off; i < h.FvLength; ++i) {
        if (bytes[i] != erased) Refuse(i, "the free space after the last file holds data");
      }
      break;
    }
    auto fh = Load<EFI_FFS_FILE_HEADER>(bytes, o);
    FvFile f;
    f.name = fh.Name;
    f.type = fh.Type;
    f.attributes = fh.Attributes;
    f.offset = o;
    f.header_size = sizeof fh;
    uint64_t size = Size24(fh.Size);
    if ((fh.Attributes & FFS_ATTRIB_LARGE_FILE) != 0) {
      if (!large_files) Refuse(o + offsetof(EFI_FFS_FILE_HEADER, Attributes), "a large file in an FFS2 volume");
      if (h.FvLength - off < kLargeFileHeader) Refuse(o, "a large file's header runs past the volume");
      size = Load<uint64_t>(bytes, o + sizeof fh);
      f.header_size = kLargeFileHeader;
    }
    if (size < f.header_size)
      Refuse(o + offsetof(EFI_FFS_FILE_HEADER, Size), "file size " + Hex(size) + " is smaller than its header");
    if (size > h.FvLength - off)
      Refuse(o + offsetof(EFI_FFS_FILE_HEADER, Size), "file " + GuidString(fh.Name) + " of " + Hex(size) +
                                                          " bytes runs past the volume's end at " + Hex(h.FvLength));
    f.size = static_cast<uint32_t>(size);
    // Header checksum: the header's bytes sum to zero with State and the file checksum counted as zero.
    std::vector<uint8_t> header(bytes.begin() + o, bytes.begin() + o + f.header_size);
    header[offsetof(EFI_FFS_FILE_HEADER, State)] = 0;
    header[offsetof(EFI_FFS_FILE_HEADER, FileChecksum)] = 0;
    if (Sum8(header) != 0)
      Refuse(o + offsetof(EFI_FFS_FILE_HEADER, HeaderChecksum),
             "header checksum " + Hex(fh.HeaderChecksum) + " of file " + GuidString(fh.Name) + " is wrong");
    const uint8_t state = v.erase_polarity ? static_cast<uint8_t>(~fh.State) : fh.State;
    const uint8_t data_valid = EFI_FILE_HEADER_CONSTRUCTION | EFI_FILE_HEADER_VALID | EFI_FILE_DATA_VALID;
    const std::span<const uint8_t> data = bytes.subspan(o + f.header_size, f.size - f.header_size);
    if ((state & (EFI_FILE_DELETED | EFI_FILE_HEADER_INVALID)) == 0 && (state & data_valid) != data_valid)
      Refuse(o + offsetof(EFI_FFS_FILE_HEADER, State),
             "file " + GuidString(fh.Name) + " is in state " + Hex(fh.State) + ", not a complete file");
    const bool deleted = (state & (EFI_FILE_DELETED | EFI_FILE_HEADER_INVALID)) != 0;
    if (!deleted) {
      if ((fh.Attributes & FFS_ATTRIB_CHECKSUM) != 0) {
        if (static_cast<uint8_t>(Sum8(data) + fh.FileChecksum) != 0)
          Refuse(o + offsetof(EFI_FFS_FILE_HEADER, FileChecksum),
                 "data checksum " + Hex(fh.FileChecksum) + " of file " + GuidString(fh.Name) + " is wrong (should be " +
                     Hex(Checksum8(data)) + ")");
      } else if (fh.FileChecksum != FFS_FIXED_CHECKSUM) {
        Refuse(o + offsetof(EFI_FFS_FILE_HEADER, FileChecksum), "file " + GuidString(fh.Name) +
                                                                    " has no data checksum but its checksum byte is " +
                                                                    Hex(fh.FileChecksum) + ", not 0xAA");
      }
      const uint32_t alignment = AlignmentOfAttributes(fh.Attributes);
      if ((o + f.header_size) % alignment != 0)
        Refuse(o, "the data of file " + GuidString(fh.Name) + " at " + Hex(o + f.header_size) + " is not on its " +
                      std::to_string(alignment) + "-byte alignment");
      if (fh.Type != EFI_FV_FILETYPE_FFS_PAD) {
        const auto [earlier, fresh] = names.try_emplace(GuidBytes(f.name), o);
        if (!fresh)
          Refuse(o, "a second file named " + GuidString(f.name) + " (the first is at " + Hex(earlier->second) + ")");
      }
      if (fh.Type != EFI_FV_FILETYPE_RAW && fh.Type != EFI_FV_FILETYPE_FFS_PAD)
        ReadSections(bytes, f, o + f.header_size, o + f.size);
      v.files.push_back(std::move(f));
    }
    off += size;
  }
  return v;
}

}  // namespace

const FvSection* FvFile::SectionOfType(uint8_t section_type) const {
  for (const FvSection& s : sections) {
    if (s.type == section_type) return &s;
  }
  return nullptr;
}

const FvFile* FirmwareVolume::FindFile(const EFI_GUID& name) const {
  for (const FvFile& f : files) {
    if (f.type != EFI_FV_FILETYPE_FFS_PAD && GuidIs(f.name, name)) return &f;
  }
  return nullptr;
}

VolumeReadResult ReadVolume(std::span<const uint8_t> bytes) {
  try {
    return {Read(bytes), {}};
  } catch (const Refusal& r) {
    return {std::nullopt, r.message};
  }
}

std::string FileTypeName(uint8_t t) {
  switch (t) {
    case EFI_FV_FILETYPE_RAW: return "RAW";
    case EFI_FV_FILETYPE_FREEFORM: return "FREEFORM";
    case EFI_FV_FILETYPE_SECURITY_CORE: return "SECURITY_CORE";
    case EFI_FV_FILETYPE_PEI_CORE: return "PEI_CORE";
    case EFI_FV_FILETYPE_DXE_CORE: return "DXE_CORE";
    case EFI_FV_FILETYPE_PEIM: return "PEIM";
    case EFI_FV_FILETYPE_DRIVER: return "DRIVER";
    case EFI_FV_FILETYPE_COMBINED_PEIM_DRIVER: return "COMBINED_PEIM_DRIVER";
    case EFI_FV_FILETYPE_APPLICATION: return "APPLICATION";
    case EFI_FV_FILETYPE_MM: return "MM";
    case EFI_FV_FILETYPE_FIRMWARE_VOLUME_IMAGE: return "FIRMWARE_VOLUME_IMAGE";
    case EFI_FV_FILETYPE_FFS_PAD: return "FFS_PAD";
    default: return "type " + Hex(t);
  }
}

std::string SectionTypeName(uint8_t t) {
  switch (t) {
    case EFI_SECTION_COMPRESSION: return "COMPRESSION";
    case EFI_SECTION_GUID_DEFINED: return "GUID_DEFINED";
    case EFI_SECTION_DISPOSABLE: return "DISPOSABLE";
    case EFI_SECTION_PE32: return "PE32";
    case EFI_SECTION_PIC: return "PIC";
    case EFI_SECTION_TE: return "TE";
    case EFI_SECTION_DXE_DEPEX: return "DXE_DEPEX";
    case EFI_SECTION_VERSION: return "VERSION";
    case EFI_SECTION_USER_INTERFACE: return "USER_INTERFACE";
    case EFI_SECTION_COMPATIBILITY16: return "COMPATIBILITY16";
    case EFI_SECTION_FIRMWARE_VOLUME_IMAGE: return "FIRMWARE_VOLUME_IMAGE";
    case EFI_SECTION_FREEFORM_SUBTYPE_GUID: return "FREEFORM_SUBTYPE_GUID";
    case EFI_SECTION_RAW: return "RAW";
    case EFI_SECTION_PEI_DEPEX: return "PEI_DEPEX";
    case EFI_SECTION_MM_DEPEX: return "MM_DEPEX";
    default: return "type " + Hex(t);
  }
}

}  // namespace fv
