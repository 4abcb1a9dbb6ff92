// Decoder of SMBIOS type 41, Onboard Devices Extended Information.
#include "tools/boardsim/record_decoders.h"

namespace boardsim {

namespace {
const std::vector<const char*> kDeviceTypes = {nullptr,           "Other",           "Unknown",       "Video",
                                               "SCSI Controller", "Ethernet",        "Token Ring",    "Sound",
                                               "PATA Controller", "SATA Controller", "SAS Controller"};
}  // namespace

std::vector<DecodedField> DecodeType41(const RecordFields& r) {
  std::vector<DecodedField> out;
  AddString(out, r, 0x04, "Reference Designation");
  if (auto v = r.U8(0x05)) {
    out.push_back({"Device Type", Named(*v & 0x7F, kDeviceTypes) + ((*v & 0x80) ? ", enabled" : ", disabled")});
  }
  AddU8(out, r, 0x06, "Device Type Instance");
  AddU16(out, r, 0x07, "Segment Group Number");
  AddU8(out, r, 0x09, "Bus Number");
  AddDeviceFunction(out, r, 0x0A, "Device/Function Number");
  return out;
}

}  // namespace boardsim
