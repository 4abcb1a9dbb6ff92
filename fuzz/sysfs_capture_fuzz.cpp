// The sysfs files: the smbios_entry_point and DMI pair, a `config` file made into a function (rendered, its
// every byte read, its VPD capability driven), and the size checks of `vpd` files and FRU images. Input: a
// 16-bit entry point length, the entry point, a 16-bit DMI length, the DMI file, then the config bytes.
#include <cstdint>

#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "sim/board/captures/binary_captures.h"
#include "sim/board/captures/capture_error.h"
#include "sim/board/captures/smbios_table_reader.h"
#include "sim/pci/pci_function.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  const std::vector<uint8_t> entry = in.Sized16(0xFFFF);
  const std::vector<uint8_t> dmi = in.Sized16(0xFFFF);
  const std::vector<uint8_t> config = in.Rest();
  try {
    for (const auto& r : sim::ReadSmbiosSysfs(entry, dmi, "fuzz"))
      FUZZ_REQUIRE(r.formatted.size() >= 4 && r.formatted.size() == r.formatted[1], "whole formatted areas");
  } catch (const sim::CaptureError& e) {
    FUZZ_REQUIRE(e.Where() <= (entry.size() > dmi.size() ? entry.size() : dmi.size()), "an offset inside a file");
  }
  for (auto check : {sim::CheckVpdCapture, sim::CheckFruImage}) {
    try {
      check(config);
    } catch (const sim::CaptureError&) {
    }
  }
  sim::PciFunctionSpec spec;
  try {
    spec = sim::CapturedFunction({0, 1, 0, 0}, config, "fuzz");
  } catch (const sim::CaptureError& e) {
    FUZZ_REQUIRE(e.Where() == config.size(), "the size is what is wrong");
    return 0;
  }
  sim::VirtualClock clock;
  sim::Violations violations;
  sim::PciFunction function(spec, clock);
  const auto image = sim::RenderConfigSpace(spec);
  for (uint16_t at = 0; at < config.size(); ++at) {
    const bool vpd_register = image.vpd_capability && at >= *image.vpd_capability + 2 && at < *image.vpd_capability + 8;
    FUZZ_REQUIRE(vpd_register || function.Read(at, 1) == config[at], "every captured byte reads back");
  }
  for (uint16_t at = static_cast<uint16_t>(config.size()); at < sim::kPciConfigSpaceSize; at += 4)
    FUZZ_REQUIRE(function.Read(at, 4) == 0, "past the capture every read is 0");
  function.Write(0x04, 2, 0x0006, violations);
  if (function.Vpd() != nullptr) {
    function.Write(static_cast<uint16_t>(*image.vpd_capability + 2), 2, 0x0000, violations);
    clock.Advance(spec.captured->vpd.delay_us);
    FUZZ_REQUIRE(function.Read(static_cast<uint16_t>(*image.vpd_capability + 4), 4) == 0xFFFFFFFFu,
                 "an absent VPD image reads all ones");
  }
  return 0;
}
