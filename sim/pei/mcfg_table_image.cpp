// Encodes McfgTableConfig into the little-endian table the PCD token 60 pointer names.
#include "sim/pei/mcfg_table_image.h"

namespace sim {

namespace {
void Put(std::vector<uint8_t>& out, size_t at, uint64_t value, unsigned bytes) {
  for (unsigned i = 0; i < bytes; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}
}  // namespace

std::vector<uint8_t> BuildMcfgTable(const McfgTableConfig& config) {
  std::vector<uint8_t> out(16 + 16 * config.entries.size(), 0);
  out[0] = 'M';
  out[1] = 'C';
  out[2] = 'F';
  out[3] = 'G';
  Put(out, 4, config.length.value_or(static_cast<uint32_t>(out.size())), 4);
  out[8] = 0x01;  // revision, as the fallback table carries
  for (size_t i = 0; i < config.entries.size(); ++i) {
    const McfgEntryConfig& e = config.entries[i];
    size_t at = 16 + 16 * i;
    Put(out, at, e.base, 8);
    Put(out, at + 8, e.segment, 2);
    out[at + 10] = e.first_bus;
    out[at + 11] = e.last_bus;
  }
  return out;
}

}  // namespace sim
