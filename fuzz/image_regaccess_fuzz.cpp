// The register-access harness's inputs (platform, record, operation) run through the built PEI image in the
// emulator and through the host-linked service on the same platform: the record's address first, then its read,
// write or modify. Invariant: both give the same status, record and buffer afterwards, bus accesses (address,
// width, value, in order), violations, debugger stops and CSR cache; the image's call ends only by returning or
// at the debugger stop (where it must match the host up to that stop), or, for an access no bus window holds,
// where the host's bus reports that access. An access not aligned to its width is split into aligned pieces by the
// emulator, so a run with one is compared without its accesses. Bases stay at or above 2 GiB (RegaccessBase), below which the
// emulator holds the image's own memory.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "fuzz/support/image_block_counters.h"
#include "fuzz/support/regaccess_input.h"
#include "regaccess/pcie_register_handlers.h"
#include "tests/sim/image/regaccess_twin.h"

namespace {

void Same(sim::test::RegaccessTwin& twin, const sim::test::RegaccessRequest& request, const char* what) {
  const sim::test::RegaccessOutcome image = twin.OnImage(request);
  const sim::test::RegaccessOutcome host = twin.OnHost(request);
  // The emulator splits an unaligned access into aligned pieces; the host's bus sees the access whole. An access
  // across the end of a 4 KiB configuration space reads a value neither defines, so its bytes are not compared.
  const std::string diff = sim::test::CompareOutcomes(image, host, !sim::test::AnyUnaligned(host.accesses),
                                                      !sim::test::AnyCrossingConfigSpace(host.accesses));
  if (!diff.empty() && std::getenv("FUZZ_VERBOSE") != nullptr) {  // diagnosing a finding: both runs' accesses
    const RegisterAddress& r = request.record;
    std::fprintf(stderr, "record %08x %08x %08x ctx %x op %u misalign %zu\n", r.Address, r.Word1, r.Attribute,
                 r.Context, request.operation, request.misalign);
    for (const auto* o : {&image, &host}) {
      std::fprintf(stderr, "%s: status %x fault '%s'\n", o == &image ? "image" : "host", o->status, o->fault.c_str());
      for (const auto& a : o->accesses) {
        std::fprintf(stderr, "  %s %llx w%u = %llx\n", a.write ? "write" : "read", (unsigned long long)a.address,
                     a.width, (unsigned long long)a.value);
      }
      for (const auto& v : o->violations) std::fprintf(stderr, "  violation %s\n", v.c_str());
    }
  }
  FUZZ_REQUIRE(diff.empty(), std::string(what) + ": " + diff);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* image = std::getenv("PEI_IMAGE_FILE");
  if (image == nullptr) image = PEI_IMAGE;
  fuzz::CountImageBlocks();  // the image's blocks are fuzzer feedback
  fuzz::FuzzInput in(data, size);
  sim::TracePlatformConfig config;
  config.pei = fuzz::RegaccessPlatform(in, true);
  config.pmc.present = false;  // the input's window already holds a function at 0:31.2
  sim::TracePlatform platform(config);
  std::string error;
  static std::unique_ptr<sim::PeimImageRun> reused;  // one emulator, restored for each input
  std::unique_ptr<sim::test::RegaccessTwin> twin =
      sim::test::RegaccessTwin::Create(platform, config, image, error, &reused);
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
