// Decoder of SMBIOS type 39, System Power Supply.
#include "tools/boardsim/record_decoders.h"

namespace boardsim {

namespace {

const std::vector<const char*> kSupplyTypes = {nullptr,   "Other", "Unknown",   "Linear",   "Switching",
                                               "Battery", "UPS",   "Converter", "Regulator"};
const std::vector<const char*> kStatuses = {nullptr, "Other", "Unknown", "OK", "Non-critical", "Critical"};
const std::vector<const char*> kInputSwitching = {nullptr,       "Other",      "Unknown",       "Manual",
                                                  "Auto-switch", "Wide range", "Not applicable"};

std::string ProbeHandle(uint16_t v) { return v == 0xFFFF ? Hex16(v) + " (none)" : Hex16(v); }

}  // namespace

std::vector<DecodedField> DecodeType39(const RecordFields& r) {
  std::vector<DecodedField> out;
  AddU8(out, r, 0x04, "Power Unit Group");
  AddString(out, r, 0x05, "Location");
  AddString(out, r, 0x06, "Device Name");
  AddString(out, r, 0x07, "Manufacturer");
  AddString(out, r, 0x08, "Serial Number");
  AddString(out, r, 0x09, "Asset Tag Number");
  AddString(out, r, 0x0A, "Model Part Number");
  AddString(out, r, 0x0B, "Revision Level");
  if (auto v = r.U16(0x0C)) {
    out.push_back({"Max Power Capacity", *v == 0x8000 ? Hex16(*v) + " (unknown)" : std::to_string(*v) + " W"});
  }
  if (auto v = r.U16(0x0E)) {
    out.push_back({"Power Supply Characteristics", Hex16(*v)});
    out.push_back({"Type", Named(*v >> 10 & 0x1F, kSupplyTypes), 1});
    out.push_back({"Status", Named(*v >> 7 & 0x07, kStatuses), 1});
    out.push_back({"Input Voltage Range Switching", Named(*v >> 3 & 0x0F, kInputSwitching), 1});
    out.push_back({"Flags", BitNames(*v & 0x07, {"hot-replaceable", "present", "unplugged"}), 1});
  }
  if (auto v = r.U16(0x10)) out.push_back({"Input Voltage Probe Handle", ProbeHandle(*v)});
  if (auto v = r.U16(0x12)) out.push_back({"Cooling Device Handle", ProbeHandle(*v)});
  if (auto v = r.U16(0x14)) out.push_back({"Input Current Probe Handle", ProbeHandle(*v)});
  return out;
}

}  // namespace boardsim
