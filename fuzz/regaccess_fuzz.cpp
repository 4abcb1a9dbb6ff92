// RegisterAddress records through the register-access service: PCIe single and block records (segment,
// count, width code, context or platform MCFG table) and CPU CSR records against a fuzzed SiliconContext,
// with the simulator's debugger stand-in clearing every fatal stop. Invariants: an operation touches exactly
// the registers its record resolves to (RegisterGetAddress on a copy), element by element with the width and
// strides of its code, and nothing when the block check refuses it or a single element would pass 4 GiB; an
// accepted block stays below 4 GiB; no buffer is read or written past the elements it holds (exact-size buffers
// under the sanitizers); and the bus reports an access outside its configuration window only when the record
// itself resolves outside it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "fuzz/support/regaccess_input.h"
#include "regaccess/pcie_register_handlers.h"
#include "regaccess/register_access.h"
#include "regaccess/register_copy.h"
#include "sim/common/debug_stop_log.h"
#include "sim/pei/pei_platform.h"
#include "uefi/silicon_context_layout.h"

namespace {

constexpr uint64_t kWindowBase = fuzz::kRegaccessWindowBase;
constexpr uint64_t kWindowSize = fuzz::kRegaccessWindowSize;

// The accesses one element of the code makes at an address: 1, 2 or 4 bytes, else two 4-byte halves
// (low word first).
void Element(std::vector<sim::MmioAccess>& out, uint64_t address, uint32_t code, bool write) {
  if (code <= 2) {
    out.push_back({address, 1u << code, 0, write});
  } else {
    out.push_back({address, 4, 0, write});
    out.push_back({address + 4, 4, 0, write});  // never past 4 GiB: such an element is refused
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  sim::PeiPlatform platform(fuzz::RegaccessPlatform(in, false));
  sim::ClearDebugStops();

  fuzz::RegaccessOperation op = fuzz::DecodeRegaccessOperation(in, platform.silicon_context().address());
  RegisterAddress record = op.record;
  const uint32_t type = op.type, operation = op.operation;
  const size_t misalign = op.misalign;
  const bool null_buffer = op.null_buffer, and_null = op.and_null, or_null = op.or_null;
  std::vector<uint8_t>& and_bytes = op.and_bytes;
  std::vector<uint8_t>& or_bytes = op.or_bytes;

  // What the record resolves to, from a copy (a CSR translation rewrites the width code of its record).
  // The CSR cache in the context is put back afterwards, so the operation starts from the same state.
  uint8_t* cache = platform.silicon_context().data() + SiliconContextLayout::CacheKey1;
  uint8_t saved_cache[16];
  std::memcpy(saved_cache, cache, sizeof saved_cache);
  RegisterAddress resolved = record;
  uint64_t address = RegisterGetAddress(&resolved);
  std::memcpy(cache, saved_cache, sizeof saved_cache);
  bool stopped = !sim::DebugStops().empty();
  uint32_t code = RegisterWidthCode(&resolved);
  uint32_t count = RegisterCount(&record);
  bool block = type == PcieConfigBlock && operation != RegisterOperationModify;

  // A buffer of exactly the bytes the operation moves, at the chosen misalignment.
  size_t element = AccessWidthSize(code);
  size_t bytes = block ? (code < 12 ? (BufferStride[code] == 0 ? element : count * BufferStride[code]) : 1)
                       : (code <= 2 ? element : 8);
  std::vector<uint8_t> storage(misalign + (bytes == 0 ? 1 : bytes), 0x5A);
  uint8_t* buffer = null_buffer ? nullptr : storage.data() + misalign;

  platform.StartRecording();
  uint32_t status = 0;
  if (operation == RegisterOperationRead) status = RegisterRead(&record, buffer);
  if (operation == RegisterOperationWrite) status = RegisterWrite(&record, buffer);
  if (operation == RegisterOperationModify) {
    status = RegisterModify(&record, and_null ? nullptr : and_bytes.data(), or_null ? nullptr : or_bytes.data());
  }
  platform.StopRecording();

  std::vector<sim::MmioAccess> expected;
  bool write = operation == RegisterOperationWrite;
  // A single element (or a modify's) whose bytes would pass the top of the 32-bit space is refused before any
  // access: an 8-byte element at 0xFFFFFFFC would otherwise put its high word at address 0.
  const bool past_top = address + (code <= 2 ? (1u << code) : 8u) > (1ull << 32);
  if (type == 3) {
    FUZZ_REQUIRE(status == RegisterUnsupported, "type 3 is unsupported");
  } else if (type == CpuCsr && record.Context == 0) {
    // Without a context the CSR cannot be placed: nothing is accessed.
  } else if (block) {
    FUZZ_REQUIRE(status == RegisterSuccess || status == RegisterInvalidParameter || status == RegisterUnsupported,
                 "block status " + std::to_string(status));
    FUZZ_REQUIRE(!(null_buffer || code >= 12) || status == RegisterInvalidParameter, "null buffer or code 12+ refused");
    if (status == RegisterSuccess) {
      uint64_t last = count == 0 ? address : address + static_cast<uint64_t>(count - 1) * RegisterStride[code];
      FUZZ_REQUIRE(last + element <= (1ull << 32), "an accepted block stays below 4 GiB");
      FUZZ_REQUIRE(address % element == 0, "an accepted block is aligned");
      for (uint32_t i = 0; i < count; ++i) Element(expected, address + i * RegisterStride[code], code & 3, write);
    }
  } else if (operation == RegisterOperationModify) {
    FUZZ_REQUIRE(status == (past_top ? RegisterUnsupported : RegisterSuccess),
                 "modify status " + std::to_string(status));
    if (!past_top) {
      Element(expected, address, code, false);
      Element(expected, address, code, true);
    }
  } else {
    const uint32_t want = null_buffer && type == PcieConfig ? RegisterInvalidParameter
                          : past_top                        ? RegisterUnsupported
                                                            : RegisterSuccess;
    FUZZ_REQUIRE(status == want || (null_buffer && type == CpuCsr), "single transfer status " + std::to_string(status));
    if (!(null_buffer && type == PcieConfig) && !past_top) Element(expected, address, code, write);
  }
  if (null_buffer && type == CpuCsr && operation != RegisterOperationModify) return 0;  // no buffer to move

  const auto& recorded = platform.Recorded();
  if (std::getenv("FUZZ_VERBOSE") != nullptr) {  // diagnosing a finding: the record and its accesses
    std::fprintf(stderr, "record %08x %08x %08x ctx %x op %u status %x address %llx code %u\n", record.Address,
                 record.Word1, record.Attribute, record.Context, operation, status, (unsigned long long)address, code);
    for (auto& a : recorded)
      std::fprintf(stderr, " got %llx w%u %d\n", (unsigned long long)a.address, a.width, a.write);
    for (auto& a : expected)
      std::fprintf(stderr, " exp %llx w%u %d\n", (unsigned long long)a.address, a.width, a.write);
    for (auto& s : sim::DebugStops()) std::fprintf(stderr, " stop %s\n", s.message.c_str());
  }
  FUZZ_REQUIRE(recorded.size() == expected.size(),
               std::to_string(recorded.size()) + " accesses, " + std::to_string(expected.size()) + " expected");
  bool outside = false;
  for (size_t i = 0; i < expected.size(); ++i) {
    FUZZ_REQUIRE(recorded[i].address == expected[i].address && recorded[i].width == expected[i].width &&
                     recorded[i].write == expected[i].write,
                 "access " + std::to_string(i) + " at " + std::to_string(recorded[i].address));
    if (expected[i].address < kWindowBase || expected[i].address + expected[i].width > kWindowBase + kWindowSize) {
      outside = true;
    }
  }
  FUZZ_REQUIRE(platform.violations().Empty() == !outside, platform.violations().Joined());
  if (!stopped) {
    // Once the cache holds the page, the same record still resolves to the same register.
    RegisterAddress again = record;
    FUZZ_REQUIRE(RegisterGetAddress(&again) == address, "the CSR cache changes the address");
  }
  return 0;
}
