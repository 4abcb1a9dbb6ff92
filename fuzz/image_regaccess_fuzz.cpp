// The register-access harness's inputs (platform, record, operation) run through the built PEI image in the
// emulator and through the host-linked service on the same platform: the record's address first, then its read,
// write or modify. Invariant: both give the same status, record and buffer afterwards, bus accesses (address,
// width, value, in order), violations, debugger stops and CSR cache; the image's call ends only by returning or
// at the debugger stop (where it must match the host up to that stop), or, for an access no bus window holds,
// where the host's bus reports that access. Bases stay at or above 2 GiB (RegaccessBase), below which the
// emulator holds the image's own memory.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "fuzz/support/regaccess_input.h"
#include "regaccess/pcie_register_handlers.h"
#include "tests/sim/image/regaccess_twin.h"

namespace {

void Same(sim::test::RegaccessTwin& twin, const sim::test::RegaccessRequest& request, const char* what) {
  const sim::test::RegaccessOutcome image = twin.OnImage(request);
  const sim::test::RegaccessOutcome host = twin.OnHost(request);
  const std::string diff = sim::test::CompareOutcomes(image, host);
  FUZZ_REQUIRE(diff.empty(), std::string(what) + ": " + diff);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* image = std::getenv("PEI_IMAGE_FILE");
  if (image == nullptr) image = PEI_IMAGE;
  fuzz::FuzzInput in(data, size);
  sim::TracePlatformConfig config;
  config.pei = fuzz::RegaccessPlatform(in, true);
  config.pmc.present = false;  // the input's window already holds a function at 0:31.2
  sim::TracePlatform platform(config);
  std::string error;
  std::unique_ptr<sim::test::RegaccessTwin> twin = sim::test::RegaccessTwin::Create(platform, image, error);
  FUZZ_REQUIRE(twin != nullptr, error);

  const fuzz::RegaccessOperation op = fuzz::DecodeRegaccessOperation(in, platform.pei().silicon_context().address());
  sim::test::RegaccessRequest request;
  request.record = op.record;
  request.operation = 0;
  Same(*twin, request, "get address");

  request.operation = op.operation;
  request.misalign = op.misalign;
  request.null_buffer = op.null_buffer;
  // Room for the largest element run the record may move (Count < 200, 8 bytes each).
  const uint32_t count = RegisterCount(&op.record);
  request.buffer.resize(op.type == PcieConfigBlock ? 8 * (count + 1) : 8);
  for (size_t i = 0; i < request.buffer.size(); ++i) request.buffer[i] = static_cast<uint8_t>(i * 37 + 11);
  request.and_mask = op.and_bytes;
  request.or_mask = op.or_bytes;
  request.and_null = op.and_null;
  request.or_null = op.or_null;
  Same(*twin, request, "operation");
  return 0;
}
