// One register-access request run twice on the same simulated platform: through the PEI image in the emulator
// (its own handler table and RegisterGetAddress, found through the link map) and through the host-linked
// service, with what each did kept for comparison: status, record and buffer afterwards, the bus accesses in
// order, the violations, the debugger stops and the CSR cache left in the SiliconContext.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "regaccess/register_address.h"
#include "sim/common/debug_stop_log.h"
#include "sim/common/mmio_bus.h"
#include "sim/image/peim_image_run.h"
#include "sim/pei/trace_platform.h"

namespace sim::test {

struct RegaccessRequest {
  RegisterAddress record{};
  uint32_t operation = 0;                  // RegisterOperation: 0 get address, 1 read, 2 write, 3 modify
  bool null_buffer = false;                // read/write: the buffer argument is null
  std::vector<uint8_t> buffer;             // read/write: the buffer's bytes before the call
  size_t misalign = 0;                     // the buffer's offset from a 16-byte boundary
  bool and_null = false, or_null = false;  // modify: null masks
  std::vector<uint8_t> and_mask = std::vector<uint8_t>(8, 0xFF), or_mask = std::vector<uint8_t>(8, 0);
};

struct RegaccessOutcome {
  bool completed = true;  // the image's call returned (always true on the host)
  bool stopped = false;   // the image's call ended at the debugger stop
  std::string fault;      // the image's fault or stop message
  uint32_t status = 0;    // the status, or the address for a get-address request
  RegisterAddress record{};
  std::vector<uint8_t> buffer;
  std::vector<MmioAccess> accesses;
  std::vector<std::string> violations;
  std::vector<DebugStop> stops;
  std::vector<uint8_t> cache;  // the CSR cache words of the SiliconContext afterwards
};

// Runs requests through the image and the host on one platform; every run starts from the CSR cache the
// platform had when the twin was made.
class RegaccessTwin {
 public:
  // Null (with `error` set) when the image cannot be placed or its map lacks the service's symbols. `config` is
  // the platform's: the configuration spaces of its functions are put back before the host run, so both runs
  // start from the same registers.
  // With `reused`, the run it holds is restored and moved to `platform` when that platform leaves room for it,
  // else a fresh run is made and left there: one emulator then serves every twin (a fuzzer's inputs).
  static std::unique_ptr<RegaccessTwin> Create(TracePlatform& platform, const TracePlatformConfig& config,
                                               const std::string& image_path, std::string& error,
                                               std::unique_ptr<PeimImageRun>* reused = nullptr);
  RegaccessOutcome OnImage(const RegaccessRequest& request);
  RegaccessOutcome OnHost(const RegaccessRequest& request);
  PeimImageRun& Run() { return *run_; }

 private:
  RegaccessTwin(TracePlatform& platform, PeimImageRun& run, std::unique_ptr<PeimImageRun> owned)
      : platform_(platform), run_(&run), owned_(std::move(owned)) {}
  void Begin();
  void Finish(RegaccessOutcome& out);

  TracePlatform& platform_;
  PeimImageRun* run_;
  std::unique_ptr<PeimImageRun> owned_;  // null when the caller keeps the run
  uint64_t get_address_ = 0, table_ = 0;
  std::vector<uint8_t> start_cache_;
  std::vector<uint8_t*> spaces_;             // every present function's 4 KiB configuration space
  std::vector<std::vector<uint8_t>> saved_;  // their bytes before the image run
  // Guest scratch in the arena, reused by every request: the record, both masks, the buffer (16-byte aligned).
  struct Scratch {
    RegisterAddress* record = nullptr;
    uint8_t* and_mask = nullptr;
    uint8_t* or_mask = nullptr;
    uint8_t* buffer = nullptr;
  } scratch_;
};

// Empty when the two outcomes agree; else what differs. An image run the debugger stop ended must match the host
// up to that stop (same stop first, the image's accesses a prefix of the host's); an image run that faulted on an
// access nothing maps must match a host run whose bus reported that access outside its windows. Without
// `accesses`, the bus accesses themselves are not compared (the emulator splits an access that is not aligned to
// its width into aligned pieces, which the host's bus sees as one access).
// `buffers` false leaves the buffer bytes out: a run whose access crosses a 4 KiB configuration space, whose
// value the host bus (one device sees it whole) and the emulator (aligned pieces, one per device) make differently.
std::string CompareOutcomes(const RegaccessOutcome& image, const RegaccessOutcome& host, bool accesses = true,
                            bool buffers = true);

// Whether any of the accesses is not aligned to its width.
bool AnyUnaligned(const std::vector<MmioAccess>& accesses);
// Whether an access runs past the end of the 4 KiB configuration space it starts in.
bool AnyCrossingConfigSpace(const std::vector<MmioAccess>& accesses);

}  // namespace sim::test
