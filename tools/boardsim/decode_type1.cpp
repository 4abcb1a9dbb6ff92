// Decoder of SMBIOS type 1, System Information.
#include <cstdio>

#include "tools/boardsim/record_decoders.h"

namespace boardsim {

namespace {

const std::vector<const char*> kWakeUpTypes = {"Reserved",   "Other",        "Unknown",  "APM Timer",          "Modem Ring",
                                               "LAN Remote", "Power Switch", "PCI PME#", "AC Power Restored"};

// The UUID as SMBIOS 2.6 and later store it: the first three fields little-endian.
std::string UuidText(const uint8_t* u) {
  bool zero = true;
  for (int i = 0; i < 16; ++i) zero = zero && u[i] == 0;
  char text[64];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", u[3], u[2],
                u[1], u[0], u[5], u[4], u[7], u[6], u[8], u[9], u[10], u[11], u[12], u[13], u[14], u[15]);
  return std::string(text) + (zero ? " (all zero: not set)" : "");
}

}  // namespace

std::vector<DecodedField> DecodeType1(const RecordFields& r) {
  std::vector<DecodedField> out;
  AddString(out, r, 0x04, "Manufacturer");
  AddString(out, r, 0x05, "Product Name");
  AddString(out, r, 0x06, "Version");
  AddString(out, r, 0x07, "Serial Number");
  if (r.Has(0x08, 16)) out.push_back({"UUID", UuidText(r.Bytes().data() + 0x08)});
  AddNamed(out, r, 0x18, "Wake-up Type", kWakeUpTypes);
  AddString(out, r, 0x19, "SKU Number");
  AddString(out, r, 0x1A, "Family");
  return out;
}

}  // namespace boardsim
