// SMBIOS records through the toolkit: a table of fuzzed records (any types, lengths and string sets the
// table accepts), then a fuzzed record in a 768-byte work buffer measured, given strings (any UCS-2 text at any
// string number) and added, and records found and removed by type. Invariants: the record keeps its bytes
// when a string change is refused; a well-formed record stays well formed, holds the new string and is accepted
// by the table; measuring agrees with the simulator's record check; removing a type leaves none of it and every
// other record; no simulator violation and no leak.
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fuzz/support/dxe_run.h"
#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "sim/dxe/smbios_record_check.h"
#include "smbios/records/record_toolkit.h"
#include "smbios/services/pool.h"

namespace {

const uint8_t kTypes[] = {0, 1, 9, 26, 27, 28, 29, 39, 40, 41, 127, 200};

uint8_t Type(fuzz::FuzzInput& in) {
  uint8_t pick = in.U8();
  return pick < 0xF0 ? kTypes[pick % sizeof kTypes] : in.U8();
}

std::vector<uint8_t> RecordBytes(fuzz::FuzzInput& in) {
  if (in.U8() == 0xFF) return in.Sized16(SmbiosRecordBufferSize);  // raw bytes, well formed or not
  uint8_t length = static_cast<uint8_t>(4 + in.U8() % 60);
  std::vector<uint8_t> formatted = in.Bytes(length);
  formatted.resize(length, 0);
  formatted[0] = Type(in);
  formatted[1] = length;
  formatted[2] = 0xFE;
  formatted[3] = 0xFF;
  std::vector<std::string> strings;
  for (size_t n = in.U8() % 5; n > 0; --n) {
    std::vector<uint8_t> s = in.Sized(70);
    strings.emplace_back(s.begin(), s.end());
  }
  return sim::BuildSmbiosRecord(formatted, strings);
}

std::map<uint8_t, size_t> Counts(sim::DxePlatform& platform) { return platform.Smbios().CountByType(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  sim::DxePlatform platform;
  fuzz::AttachDriver(platform);

  for (size_t n = in.U8() % 6; n > 0; --n) {
    std::vector<uint8_t> bytes = RecordBytes(in);
    if (bytes.size() < 4 || !sim::CheckSmbiosRecord(bytes.data(), bytes.size()).ok)
      continue;  // another driver's valid record
    EFI_SMBIOS_HANDLE handle = SMBIOS_HANDLE_PI_RESERVED;
    platform.Smbios().Add(&handle, reinterpret_cast<EFI_SMBIOS_TABLE_HEADER*>(bytes.data()));
  }

  // The work buffer: zero-filled like a builder's, holding the record (at most 766 bytes, so it ends inside).
  auto* record = static_cast<EFI_SMBIOS_TABLE_HEADER*>(AllocateZeroed(SmbiosRecordBufferSize));
  FUZZ_REQUIRE(record != nullptr, "work buffer");
  auto* buffer = reinterpret_cast<uint8_t*>(record);
  std::vector<uint8_t> bytes = RecordBytes(in);
  bytes.resize(bytes.size() < 4                            ? 4
               : bytes.size() > SmbiosRecordBufferSize - 2 ? SmbiosRecordBufferSize - 2
                                                           : bytes.size());
  std::memcpy(buffer, bytes.data(), bytes.size());

  sim::SmbiosRecordCheck check = sim::CheckSmbiosRecord(buffer, SmbiosRecordBufferSize);
  UINTN measured = 0;
  EFI_STATUS status = GetRecordSize(record, &measured);
  if (check.ok) FUZZ_REQUIRE(status == EFI_SUCCESS && measured == check.size, "size of a well-formed record");
  if (status == EFI_SUCCESS) FUZZ_REQUIRE(measured <= SmbiosRecordBufferSize, "size within the buffer");

  for (size_t n = in.U8() % 4; n > 0; --n) {
    UINTN number = in.U8() % 8;
    std::vector<uint8_t> raw = in.Sized(160);
    std::u16string text;
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
      char16_t c = static_cast<char16_t>(raw[i] | raw[i + 1] << 8);
      text.push_back(in.Bit() ? c : static_cast<char16_t>(c & 0x7F));
    }
    std::vector<uint8_t> before(buffer, buffer + SmbiosRecordBufferSize);
    bool was_ok = sim::CheckSmbiosRecord(buffer, SmbiosRecordBufferSize).ok;
    status = SetRecordString(record, number, reinterpret_cast<const CHAR16*>(text.c_str()));
    if (EFI_ERROR(status)) {
      FUZZ_REQUIRE(std::memcmp(before.data(), buffer, SmbiosRecordBufferSize) == 0,
                   "a refused change left the record as it was");
      continue;
    }
    if (was_ok) {
      sim::SmbiosRecordCheck after = sim::CheckSmbiosRecord(buffer, SmbiosRecordBufferSize);
      FUZZ_REQUIRE(after.ok, "a string change broke the record: " + after.problem);
      FUZZ_REQUIRE(number >= 1 && number <= after.strings.size(), "string number in the set");
      std::string want;
      for (char16_t c : text) want.push_back(static_cast<char>(c));
      FUZZ_REQUIRE(after.strings[number - 1] == want.substr(0, want.find('\0')), "string " + std::to_string(number));
    }
  }
  if (sim::CheckSmbiosRecord(buffer, SmbiosRecordBufferSize).ok) {
    FUZZ_REQUIRE(AddRecord(record) == EFI_SUCCESS, "a well-formed record is added");
  }
  FreeBuffer(record);

  for (size_t n = in.U8() % 3; n > 0; --n) {
    uint8_t type = Type(in);
    std::map<uint8_t, size_t> before = Counts(platform);
    uint8_t op = in.U8() % 3;
    if (op == 0) {
      RemoveAllRecordsOfType(type);
      before.erase(type);
    } else if (op == 1) {
      EFI_SMBIOS_HANDLE handle = 0;
      status = FindFirstRecordOfType(type, &handle);
      FUZZ_REQUIRE((status == EFI_SUCCESS) == (before.count(type) != 0), "found exactly when present");
    } else if (RemoveFirstRecordOfType(type) == EFI_SUCCESS) {
      if (--before[type] == 0) before.erase(type);
    }
    FUZZ_REQUIRE(Counts(platform) == before, "records by type after an operation on type " + std::to_string(type));
  }
  fuzz::RequireCleanRun(platform);
  return 0;
}
