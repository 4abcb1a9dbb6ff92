// Variable contents and sizes through the setup configuration load: each of the ten setup variables absent,
// of its expected size, shorter or longer, with any contents and attributes, into an image buffer of exactly
// the configuration size (pool guards on both sides), with an optional allocation failure. Invariants: no
// simulator violation (no write past the image, no leak) and, when nothing failed, every variable's part of the
// image as the simulator's placement rule says: its bytes where it fits, zeros where it is absent or too large.
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/support/dxe_run.h"
#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "sim/dxe/setup_variables.h"
#include "sim/dxe/variable_store.h"
#include "smbios/entry/setup_configuration.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  sim::DxePlatform platform;
  fuzz::AttachDriver(platform);
  sim::VariableStore& store = sim::PlatformVariableStore(platform);

  const auto& variables = sim::SetupVariables();
  std::vector<std::pair<bool, size_t>> present_and_size;
  std::vector<std::vector<uint8_t>> contents;
  for (const sim::SetupVariable& v : variables) {
    uint8_t pick = in.U8();
    bool present = pick % 4 != 0;
    size_t stored = v.size;
    if (pick % 4 == 2) stored = v.size == 0 ? 0 : in.U16() % v.size;  // shorter
    if (pick % 4 == 3) stored = v.size + 1 + in.U8();                 // longer
    std::vector<uint8_t> bytes = in.Bytes(stored < 64 ? stored : 64);
    std::vector<uint8_t> content(stored);
    for (size_t i = 0; i < stored; ++i) content[i] = bytes.empty() ? static_cast<uint8_t>(i) : bytes[i % bytes.size()];
    if (present) store.Put(v.name, v.vendor, in.Bit() ? sim::kSetupVariableAttributes : in.U8() & 7, content);
    present_and_size.push_back({present, present ? stored : 0});
    contents.push_back(std::move(content));
  }
  bool failing = in.U8() == 0xFF;

  void* image = nullptr;
  FUZZ_REQUIRE(platform.Pool().Allocate(EfiBootServicesData, sim::kSetupImageSize, &image) == EFI_SUCCESS, "image");
  std::memset(image, 0xEE, sim::kSetupImageSize);
  if (failing) platform.FailAllocation(1 + in.U8() % 12);
  EFI_STATUS status = LoadSetupConfiguration(static_cast<UINT8*>(image));

  if (!failing && status == EFI_SUCCESS) {
    const UINT8* bytes = static_cast<const UINT8*>(image);
    auto placements = sim::PlaceSetupVariables(present_and_size);
    for (size_t i = 0; i < placements.size(); ++i) {
      const sim::SetupPlacement& p = placements[i];
      FUZZ_REQUIRE(p.offset + p.length <= sim::kSetupImageSize, "placement inside the image");
      for (size_t b = 0; b < p.length; ++b) {
        uint8_t want = p.zeroed ? 0 : contents[i][b];
        FUZZ_REQUIRE(bytes[p.offset + b] == want, "variable " + std::to_string(i) + " byte " + std::to_string(b));
      }
    }
  }
  platform.Pool().Free(image);
  fuzz::RequireCleanRun(platform);
  return 0;
}
