// SMBIOS entry points and structure tables from captured bytes; every read checked against the bytes given.
#include "sim/board/captures/smbios_table_reader.h"

#include <cstring>
#include <set>

#include "sim/board/captures/capture_error.h"
#include "sim/board/captures/smbios_dump_writer.h"
#include "sim/common/hex_text.h"
#include "sim/dxe/smbios_record_check.h"

namespace sim {

namespace {

constexpr const char* kEntryFix = "give the file as dmidecode --dump-bin or the kernel wrote it, unchanged";

uint16_t U16(std::span<const uint8_t> b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
uint32_t U32(std::span<const uint8_t> b, size_t at) { return U16(b, at) | static_cast<uint32_t>(U16(b, at + 2)) << 16; }
uint64_t U64(std::span<const uint8_t> b, size_t at) { return U32(b, at) | static_cast<uint64_t>(U32(b, at + 4)) << 32; }

uint8_t Sum(std::span<const uint8_t> b, size_t from, size_t count) {
  uint8_t sum = 0;
  for (size_t i = from; i < from + count; ++i) sum = static_cast<uint8_t>(sum + b[i]);
  return sum;
}

bool Anchor(std::span<const uint8_t> b, size_t at, const char* text) {
  const size_t n = std::strlen(text);
  return b.size() >= at + n && std::memcmp(b.data() + at, text, n) == 0;
}

// Prefixes the problem of a CaptureError with the name of the file it concerns.
template <typename F>
auto InFile(const char* name, F&& read) {
  try {
    return read();
  } catch (const CaptureError& e) {
    throw CaptureError(e.Where(), std::string(name) + ": " + e.what(), e.Fix());
  }
}

}  // namespace

SmbiosEntryPointFields ReadSmbiosEntryPoint(std::span<const uint8_t> b) {
  SmbiosEntryPointFields ep;
  if (Anchor(b, 0, "_SM3_")) {
    ep.is_30 = true;
    if (b.size() < 0x18)
      throw CaptureError(b.size(), "3.0 entry point cut short at " + Hex(b.size(), 2) + " bytes", kEntryFix);
    ep.length = b[0x06];
    if (ep.length < 0x18 || ep.length > b.size())
      throw CaptureError(0x06, "3.0 entry point length " + Hex(ep.length, 2) + " (0x18 expected, within the file)",
                         kEntryFix);
    if (Sum(b, 0, ep.length) != 0)
      throw CaptureError(
          0x05,
          "3.0 entry point checksum does not match (the bytes sum to " + Hex(Sum(b, 0, ep.length), 2) + ", not 0)",
          kEntryFix);
    ep.major = b[0x07];
    ep.minor = b[0x08];
    ep.table_length = U32(b, 0x0C);
    ep.table_address = U64(b, 0x10);
    return ep;
  }
  if (Anchor(b, 0, "_SM_")) {
    if (b.size() < 0x1F)
      throw CaptureError(b.size(), "2.1 entry point cut short at " + Hex(b.size(), 2) + " bytes", kEntryFix);
    ep.length = b[0x05];
    // 0x1E is the length an early version of the standard gave; tables in the field carry it.
    if ((ep.length != 0x1F && ep.length != 0x1E) || ep.length > b.size())
      throw CaptureError(0x05, "2.1 entry point length " + Hex(ep.length, 2) + " (0x1F expected)", kEntryFix);
    if (Sum(b, 0, ep.length) != 0)
      throw CaptureError(
          0x04,
          "2.1 entry point checksum does not match (the bytes sum to " + Hex(Sum(b, 0, ep.length), 2) + ", not 0)",
          kEntryFix);
    if (!Anchor(b, 0x10, "_DMI_"))
      throw CaptureError(0x10, "2.1 entry point without its `_DMI_` anchor at 0x10", kEntryFix);
    if (Sum(b, 0x10, 0x0F) != 0)
      throw CaptureError(0x15, "2.1 entry point's intermediate checksum (over 0x10..0x1E) does not match", kEntryFix);
    ep.major = b[0x06];
    ep.minor = b[0x07];
    ep.table_length = U16(b, 0x16);
    ep.table_address = U32(b, 0x18);
    ep.structure_count = U16(b, 0x1C);
    return ep;
  }
  throw CaptureError(0, "no SMBIOS entry point (`_SM_` or `_SM3_`) at offset 0", kEntryFix);
}

std::vector<BoardSmbiosRecord> ReadSmbiosStructures(std::span<const uint8_t> t, const SmbiosEntryPointFields& ep,
                                                    size_t base, const std::string& origin) {
  std::vector<BoardSmbiosRecord> out;
  std::set<uint16_t> handles;
  size_t p = 0;
  size_t count = 0;
  const std::string fix = "give the table as captured, unchanged and whole";
  while (p < t.size()) {
    if (!ep.is_30 && count == ep.structure_count) break;
    const std::string at = Hex(base + p, 2);
    if (t.size() - p < 4) throw CaptureError(base + p, "structure header at " + at + " runs past the table", fix);
    const uint8_t type = t[p];
    const uint8_t length = t[p + 1];
    const uint16_t handle = U16(t, p + 2);
    const std::string which =
        "structure at " + at + " (type " + std::to_string(type) + ", handle " + Hex(handle, 4) + ")";
    if (length < 4) throw CaptureError(base + p + 1, which + ": length " + std::to_string(length) + " below 4", fix);
    if (t.size() - p < length) throw CaptureError(base + p, which + ": formatted area runs past the table", fix);
    // The string set ends at the first pair of NULs after the formatted area.
    size_t end = p + length;
    while (end + 1 < t.size() && !(t[end] == 0 && t[end + 1] == 0)) ++end;
    if (end + 1 >= t.size()) throw CaptureError(base + p, which + ": its string set runs past the table", fix);
    end += 2;
    ++count;
    if (type == kEndOfTableType) break;
    const SmbiosRecordCheck check = CheckSmbiosRecord(t.data() + p, end - p);
    if (!check.ok) throw CaptureError(base + p, which + ": " + check.problem, "correct the record in the capture");
    if (handle > 0xFEFF) throw CaptureError(base + p + 2, which + ": handle is reserved", fix);
    if (!handles.insert(handle).second) throw CaptureError(base + p + 2, which + ": handle used twice", fix);
    BoardSmbiosRecord r;
    r.formatted.assign(t.begin() + static_cast<std::ptrdiff_t>(p), t.begin() + static_cast<std::ptrdiff_t>(p + length));
    for (size_t s = p + length; s < end - 1 && t[s] != 0;) {
      const size_t from = s;
      while (t[s] != 0) ++s;
      r.strings.emplace_back(reinterpret_cast<const char*>(t.data() + from), s - from);
      ++s;
    }
    r.handle = handle;
    r.origin = origin + " offset " + at;
    out.push_back(std::move(r));
    p = end;
  }
  return out;
}

std::vector<BoardSmbiosRecord> ReadSmbiosDump(std::span<const uint8_t> file, const std::string& origin) {
  const SmbiosEntryPointFields ep = ReadSmbiosEntryPoint(file);
  if (ep.table_address != kDumpTableOffset)
    throw CaptureError(ep.is_30 ? 0x10 : 0x18,
                       "table address " + Hex(ep.table_address, 2) + " in the entry point; a dump's table is at 0x20",
                       "give the file dmidecode --dump-bin wrote, or load the sysfs pair with `sysfs:`");
  if (file.size() < kDumpTableOffset || file.size() - kDumpTableOffset < ep.table_length)
    throw CaptureError(file.size(),
                       "the table of " + std::to_string(ep.table_length) + " bytes runs past the end of the file (" +
                           std::to_string(file.size()) + " bytes): the dump is truncated",
                       "give the whole dump");
  return ReadSmbiosStructures(file.subspan(kDumpTableOffset, ep.table_length), ep, kDumpTableOffset, origin);
}

std::vector<BoardSmbiosRecord> ReadSmbiosSysfs(std::span<const uint8_t> entry_point, std::span<const uint8_t> dmi,
                                               const std::string& origin) {
  const SmbiosEntryPointFields ep = InFile("smbios_entry_point", [&] { return ReadSmbiosEntryPoint(entry_point); });
  return InFile("DMI", [&] {
    if (ep.is_30 ? dmi.size() > ep.table_length : dmi.size() != ep.table_length)
      throw CaptureError(dmi.size(),
                         "holds " + std::to_string(dmi.size()) + " bytes; the entry point gives a table of " +
                             (ep.is_30 ? "at most " : "") + std::to_string(ep.table_length),
                         "give the DMI and smbios_entry_point files of one machine, copied whole");
    return ReadSmbiosStructures(dmi, ep, 0, origin);
  });
}

}  // namespace sim
