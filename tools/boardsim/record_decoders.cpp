// The table of record decoders and the field helpers they share.
#include "tools/boardsim/record_decoders.h"

namespace boardsim {

namespace {
const DecoderEntry kDecoders[] = {
    {1, "System Information", &DecodeType1},
    {9, "System Slots", &DecodeType9},
    {39, "System Power Supply", &DecodeType39},
    {40, "Additional Information", &DecodeType40},
    {41, "Onboard Devices Extended Information", &DecodeType41},
};
}  // namespace

const DecoderEntry* FindDecoder(uint8_t type) {
  for (const DecoderEntry& entry : kDecoders)
    if (entry.type == type) return &entry;
  return nullptr;
}

void AddString(std::vector<DecodedField>& out, const RecordFields& r, size_t offset, const char* name) {
  if (auto v = r.StringField(offset)) out.push_back({name, *v});
}

void AddU8(std::vector<DecodedField>& out, const RecordFields& r, size_t offset, const char* name) {
  if (auto v = r.U8(offset)) out.push_back({name, Hex8(*v)});
}

void AddU16(std::vector<DecodedField>& out, const RecordFields& r, size_t offset, const char* name) {
  if (auto v = r.U16(offset)) out.push_back({name, Hex16(*v)});
}

void AddNamed(std::vector<DecodedField>& out, const RecordFields& r, size_t offset, const char* name,
              const std::vector<const char*>& names) {
  if (auto v = r.U8(offset)) out.push_back({name, Named(*v, names)});
}

void AddDeviceFunction(std::vector<DecodedField>& out, const RecordFields& r, size_t offset, const char* name) {
  if (auto v = r.U8(offset)) {
    out.push_back(
        {name, Hex8(*v) + " (device " + std::to_string(*v >> 3) + ", function " + std::to_string(*v & 7) + ")"});
  }
}

std::string BitNames(uint32_t value, const std::vector<const char*>& names) {
  std::string out;
  for (size_t bit = 0; bit < names.size(); ++bit) {
    if ((value >> bit & 1) == 0 || names[bit] == nullptr) continue;
    if (!out.empty()) out += ", ";
    out += names[bit];
  }
  return out.empty() ? "none" : out;
}

}  // namespace boardsim
