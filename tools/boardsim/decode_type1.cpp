// Decoder of SMBIOS type 1, System Information.
#include <cstdio>
#include <ctime>

#include "tools/boardsim/record_decoders.h"

namespace boardsim {

namespace {

const std::vector<const char*> kWakeUpTypes = {"Reserved",     "Other",      "Unknown",
                                               "APM Timer",    "Modem Ring", "LAN Remote",
                                               "Power Switch", "PCI PME#",   "AC Power Restored"};

// The UUID as SMBIOS 2.6 and later store it: the first three fields little-endian.
std::string UuidText(const uint8_t* u) {
  bool zero = true;
  for (int i = 0; i < 16; ++i) zero = zero && u[i] == 0;
  char text[64];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", u[3], u[2],
                u[1], u[0], u[5], u[4], u[7], u[6], u[8], u[9], u[10], u[11], u[12], u[13], u[14], u[15]);
  return std::string(text) + (zero ? " (all zero: not set)" : "");
}

// 100-nanosecond intervals from 1582-10-15 00:00 (the UUID epoch) to 1970-01-01 00:00.
constexpr uint64_t kUuidEpochToUnix = 0x01B21DD213814000ull;

const char* VariantName(uint8_t clock_seq_hi) {
  if ((clock_seq_hi & 0x80) == 0) return "NCS (reserved)";
  if ((clock_seq_hi & 0x40) == 0) return "RFC 4122";
  if ((clock_seq_hi & 0x20) == 0) return "Microsoft (reserved)";
  return "future (reserved)";
}

// The 60-bit time of a version 1 UUID as a UTC date, to the minute (the driver's clock counts minutes).
std::string TimeText(const uint8_t* u) {
  uint64_t t = 0;
  for (int i = 7; i >= 0; --i) t = t << 8 | u[i];
  t &= 0x0FFFFFFFFFFFFFFFull;
  char text[96];
  if (t < kUuidEpochToUnix) {
    std::snprintf(text, sizeof text, "0x%015llX (before 1970)", static_cast<unsigned long long>(t));
    return text;
  }
  const std::time_t seconds = static_cast<std::time_t>((t - kUuidEpochToUnix) / 10000000ull);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d UTC (0x%015llX)", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, static_cast<unsigned long long>(t));
  return text;
}

// Version, variant, time and node of a set UUID; the time and node only for version 1.
void AddUuidParts(std::vector<DecodedField>& out, const uint8_t* u) {
  bool zero = true;
  for (int i = 0; i < 16; ++i) zero = zero && u[i] == 0;
  if (zero) return;
  const unsigned version = u[7] >> 4;
  out.push_back({"UUID Version", std::to_string(version) + (version == 1 ? " (time-based)" : ""), 1});
  out.push_back({"UUID Variant", VariantName(u[8]), 1});
  if (version != 1) return;
  out.push_back({"UUID Time", TimeText(u), 1});
  char node[32];
  std::snprintf(node, sizeof node, "%02X:%02X:%02X:%02X:%02X:%02X", u[10], u[11], u[12], u[13], u[14], u[15]);
  bool no_mac = true;
  for (int i = 10; i < 16; ++i) no_mac = no_mac && u[i] == 0;
  out.push_back({"UUID Node (MAC address)", std::string(node) + (no_mac ? " (none read)" : ""), 1});
}

}  // namespace

std::vector<DecodedField> DecodeType1(const RecordFields& r) {
  std::vector<DecodedField> out;
  AddString(out, r, 0x04, "Manufacturer");
  AddString(out, r, 0x05, "Product Name");
  AddString(out, r, 0x06, "Version");
  AddString(out, r, 0x07, "Serial Number");
  if (r.Has(0x08, 16)) {
    out.push_back({"UUID", UuidText(r.Bytes().data() + 0x08)});
    AddUuidParts(out, r.Bytes().data() + 0x08);
  }
  AddNamed(out, r, 0x18, "Wake-up Type", kWakeUpTypes);
  AddString(out, r, 0x19, "SKU Number");
  AddString(out, r, 0x1A, "Family");
  return out;
}

}  // namespace boardsim
