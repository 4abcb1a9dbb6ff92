// The binary layout of `dmidecode --dump-bin`: entry point at offset 0, structure table at offset 0x20.
#include "sim/board/captures/smbios_dump_writer.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <stdexcept>

namespace sim {

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = v >> 8 & 0xFF;
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

// The byte that makes bytes [from, from + count) sum to zero modulo 256, stored at `at` (inside the range).
void SetChecksum(std::vector<uint8_t>& b, size_t from, size_t count, size_t at) {
  b[at] = 0;
  uint8_t sum = 0;
  for (size_t i = from; i < from + count; ++i) sum = static_cast<uint8_t>(sum + b[i]);
  b[at] = static_cast<uint8_t>(0x100 - sum);
}

uint16_t UnusedHandle(const std::vector<SmbiosRecordView>& records) {
  std::set<uint16_t> used;
  for (const auto& r : records) used.insert(r.handle);
  uint16_t candidate = used.empty() ? 0 : static_cast<uint16_t>(*used.rbegin() + 1);
  if (candidate < 0xFEFF && !used.count(candidate)) return candidate;
  for (uint16_t h = 0; h < 0xFEFF; ++h)
    if (!used.count(h)) return h;
  throw std::runtime_error("no free handle left for the End-of-Table structure");
}

}  // namespace

std::vector<uint8_t> BuildStructureTable(const std::vector<SmbiosRecordView>& records, size_t* structure_count,
                                         size_t* largest_structure) {
  std::vector<uint8_t> table;
  size_t count = 0;
  size_t largest = 0;
  for (const auto& r : records) {
    std::vector<uint8_t> bytes = r.bytes;
    if (bytes.size() >= 4) Put16(bytes, 2, r.handle);
    table.insert(table.end(), bytes.begin(), bytes.end());
    largest = std::max(largest, bytes.size());
    ++count;
  }
  if (records.empty() || records.back().type != kEndOfTableType) {
    std::vector<uint8_t> end = {kEndOfTableType, 4, 0, 0, 0, 0};
    Put16(end, 2, UnusedHandle(records));
    table.insert(table.end(), end.begin(), end.end());
    largest = std::max(largest, end.size());
    ++count;
  }
  if (structure_count) *structure_count = count;
  if (largest_structure) *largest_structure = largest;
  return table;
}

std::vector<uint8_t> BuildDmiDump(const std::vector<SmbiosRecordView>& records, EntryPointKind kind) {
  size_t count = 0;
  size_t largest = 0;
  std::vector<uint8_t> table = BuildStructureTable(records, &count, &largest);
  std::vector<uint8_t> dump(kDumpTableOffset, 0);

  if (kind == EntryPointKind::Smbios30) {
    std::memcpy(dump.data(), "_SM3_", 5);
    dump[0x06] = 0x18;  // entry point length
    dump[0x07] = 3;     // SMBIOS 3.0.0
    dump[0x08] = 0;
    dump[0x09] = 0;
    dump[0x0A] = 1;  // entry point revision
    Put32(dump, 0x0C, static_cast<uint32_t>(table.size()));
    Put32(dump, 0x10, kDumpTableOffset);  // 64-bit table address; the high half stays zero
    SetChecksum(dump, 0, 0x18, 0x05);
  } else {
    if (table.size() > 0xFFFF || count > 0xFFFF) throw std::runtime_error("table too large for a 2.1 entry point");
    std::memcpy(dump.data(), "_SM_", 4);
    dump[0x05] = 0x1F;  // entry point length
    dump[0x06] = 2;     // SMBIOS 2.8
    dump[0x07] = 8;
    Put16(dump, 0x08, static_cast<uint32_t>(largest));
    std::memcpy(dump.data() + 0x10, "_DMI_", 5);
    Put16(dump, 0x16, static_cast<uint32_t>(table.size()));
    Put32(dump, 0x18, kDumpTableOffset);
    Put16(dump, 0x1C, static_cast<uint32_t>(count));
    dump[0x1E] = 0x28;  // BCD revision 2.8
    SetChecksum(dump, 0x10, 0x0F, 0x15);
    SetChecksum(dump, 0, 0x1F, 0x04);
  }
  dump.insert(dump.end(), table.begin(), table.end());
  return dump;
}

}  // namespace sim
