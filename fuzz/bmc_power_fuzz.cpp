// BMC responses and completion codes, and the FRU cache variables, through the power-supply records: for
// each supply a FRU image (built from fuzzed fields, fuzzed bytes with or without valid checksums), a script
// per chunk of answers, corruptions, busy answers, any completion code, transport errors and silence, and a
// cached image of any size and attributes in the variable store (write-protected or full at times), with an
// optional allocation failure. Invariants: no simulator violation (records well formed, strings within the
// table's limits, no leak, no misuse of the IPMI or variable services) and at most one type 39 record per
// supply.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/support/dxe_run.h"
#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "sim/dxe/ipmi_bmc.h"
#include "sim/dxe/power_supply_fru_image.h"
#include "sim/dxe/variable_store.h"
#include "smbios/records/power_supply_fru_layout.h"
#include "smbios/records/power_supply_records.h"

namespace {

const EFI_GUID kCacheGuid = {0x2D667ED8, 0xA97C, 0x49C1, {0xAE, 0x0F, 0x40, 0x97, 0x36, 0xE2, 0x5B, 0xF4}};

std::string Text(fuzz::FuzzInput& in) {
  std::vector<uint8_t> bytes = in.Sized(sim::kFruFieldMaxLength);
  return {bytes.begin(), bytes.end()};
}

// Makes both checksums hold over whatever bytes the image has.
void FixChecksums(std::vector<uint8_t>& image) {
  uint8_t sum = 0;
  for (size_t i = FruProductAreaStart; i + 1 < FruProductAreaStart + FruProductAreaLength; ++i) sum += image[i];
  image[FruProductAreaStart + FruProductAreaLength - 1] = static_cast<uint8_t>(-sum);
  sum = 0;
  for (size_t i = FruMultiRecordDataStart; i < FruMultiRecordDataStart + FruMultiRecordDataLength; ++i) sum += image[i];
  image[FruMultiRecordChecksum] = static_cast<uint8_t>(-sum);
}

std::vector<uint8_t> FruImage(fuzz::FuzzInput& in) {
  uint8_t mode = in.U8() % 3;
  if (mode == 0) {
    sim::PowerSupplyFruFields fields;
    fields.manufacturer = Text(in);
    fields.product = Text(in);
    fields.part = Text(in);
    fields.version = Text(in);
    fields.serial = Text(in);
    fields.asset_tag = Text(in);
    fields.capacity_watts = in.U16() & 0xFFF;
    std::vector<uint8_t> image;
    if (sim::BuildPowerSupplyFru(fields, static_cast<sim::FruChecksumBreak>(in.U8() % 4), &image).empty()) return image;
    return {};
  }
  std::vector<uint8_t> image = in.Sized(160);
  if (mode == 1) {
    image.resize(FruImageSize, 0);
    FixChecksums(image);
  }
  return image;
}

std::vector<sim::BmcAction> Script(fuzz::FuzzInput& in) {
  std::vector<sim::BmcAction> steps;
  const EFI_STATUS statuses[] = {EFI_DEVICE_ERROR, EFI_TIMEOUT, EFI_NOT_READY, EFI_BUFFER_TOO_SMALL, EFI_SUCCESS};
  for (size_t n = in.U8() % 4; n > 0; --n) {
    sim::BmcAction a;
    a.kind = static_cast<sim::BmcActionKind>(in.U8() % 6);
    a.count = a.kind == sim::BmcActionKind::Busy ? 1 + in.U8() : 1 + in.U8() % 6;
    a.completion_code = in.U8();
    a.status = statuses[in.U8() % 5];
    steps.push_back(a);
  }
  return steps;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  sim::DxePlatform platform;
  fuzz::AttachDriver(platform);

  // The BMC and its transport, without the end-of-run check that every scripted step was used: the
  // driver may rightly stop asking before a fuzzed script ends.
  auto& bmc = platform.Keep(std::make_shared<sim::BmcModel>(platform.Violations(), platform.Clock()));
  auto& transport = platform.Keep(std::make_shared<sim::IpmiTransport>(bmc, &platform.Calls()));
  EFI_GUID ipmi_guid = IPMI_TRANSPORT_PROTOCOL_GUID;
  platform.Protocols().InstallOnNewHandle(ipmi_guid, transport.Protocol(), "IPMI transport");
  bmc.SetTiming({1 + in.U8() * 100ull, 1 + in.U16() * 100ull});

  sim::VariableStore& store = sim::PlatformVariableStore(platform);
  for (uint8_t supply = 1; supply <= 2; ++supply) {
    if (in.Bit()) {
      sim::BmcSupply s;
      s.fru = FruImage(in);
      s.silent = in.U8() == 0xFF;
      for (uint8_t chunk = 1; chunk <= 4; ++chunk) {
        if (in.Bit()) s.scripts[chunk] = Script(in);
      }
      bmc.SetSupply(supply, s);
    }
    if (in.Bit()) {
      uint32_t attributes = in.Bit() ? 3 : in.U8() & 7;
      std::vector<uint8_t> cached = in.Bit() ? FruImage(in) : in.Sized16(300);
      store.Put(supply == 1 ? u"PSU1" : u"PSU2", kCacheGuid, attributes, cached);
    }
  }
  store.SetWriteProtected(in.U8() == 0xFF);
  if (in.U8() == 0xFF) store.SetCapacity(in.U16() % 400);
  if (in.U8() == 0xFF) platform.FailAllocation(1 + in.U8() % 8);

  EFI_GUID guid = IPMI_TRANSPORT_PROTOCOL_GUID;
  void* ipmi = nullptr;
  FUZZ_REQUIRE(platform.Protocols().Locate(guid, &ipmi) == EFI_SUCCESS, "IPMI transport installed");
  PublishPowerSupplies(static_cast<IPMI_TRANSPORT_PROTOCOL*>(ipmi));

  sim::RunSummary summary = fuzz::RequireCleanRun(platform);
  auto records = summary.records_by_type.find(39);
  FUZZ_REQUIRE(records == summary.records_by_type.end() || records->second <= 2, "more than two type 39 records");
  return 0;
}
