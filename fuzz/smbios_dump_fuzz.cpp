// The SMBIOS dump reader: any file is either refused or read into records the SMBIOS protocol accepts, with
// distinct handles, that a dump written from them reads back the same (both entry points).
#include <cstdint>
#include <set>

#include "fuzz/support/fuzz_check.h"
#include "sim/board/captures/capture_error.h"
#include "sim/board/captures/smbios_dump_writer.h"
#include "sim/board/captures/smbios_table_reader.h"
#include "sim/dxe/smbios_record_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<sim::BoardSmbiosRecord> records;
  try {
    records = sim::ReadSmbiosDump({data, size}, "fuzz");
  } catch (const sim::CaptureError& e) {
    FUZZ_REQUIRE(e.Where() <= size, "the error names an offset of the file or its end");
    return 0;
  }
  std::set<uint16_t> handles;
  std::vector<sim::SmbiosRecordView> views;
  for (const auto& r : records) {
    FUZZ_REQUIRE(r.handle && *r.handle <= 0xFEFF && handles.insert(*r.handle).second, "distinct usable handles");
    const std::vector<uint8_t> bytes = sim::BuildSmbiosRecord(r.formatted, r.strings);
    FUZZ_REQUIRE(sim::CheckSmbiosRecord(bytes.data(), bytes.size()).ok, "every record is one the table accepts");
    FUZZ_REQUIRE(r.formatted[0] != sim::kEndOfTableType, "the end-of-table record is dropped");
    views.push_back({*r.handle, r.formatted[0], bytes, r.strings});
  }
  for (auto kind : {sim::EntryPointKind::Smbios30, sim::EntryPointKind::Smbios21}) {
    size_t table = 0;
    for (const auto& v : views) table += v.bytes.size();
    if (kind == sim::EntryPointKind::Smbios21 && table + 6 > 0xFFFF) continue;
    const auto again = sim::ReadSmbiosDump(sim::BuildDmiDump(views, kind), "again");
    FUZZ_REQUIRE(again.size() == records.size(), "written out and read back: as many records");
    for (size_t i = 0; i < again.size(); ++i)
      FUZZ_REQUIRE(again[i].handle == records[i].handle && again[i].formatted == records[i].formatted &&
                       again[i].strings == records[i].strings,
                   "written out and read back: the same records");
  }
  return 0;
}
