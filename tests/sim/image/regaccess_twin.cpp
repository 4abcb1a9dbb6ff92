#include "tests/sim/image/regaccess_twin.h"

#include <cstdio>
#include <cstring>

#include "regaccess/register_access.h"
#include "uefi/silicon_context_layout.h"

namespace sim::test {
namespace {

constexpr size_t kCacheBytes = 16;
constexpr size_t kSpaceBytes = 4096;          // one function's configuration space
constexpr size_t kScratchBuffer = 64 * 1024;  // the largest buffer a request may hand the image
constexpr uint32_t kNoRow = 0x80000003u;      // an address type above 2 has no row: unsupported

uint64_t Address(const void* p) { return GuestArena::Address32(p); }

std::string Hex(uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(v));
  return text;
}

std::string Describe(const MmioAccess& a) {
  return std::string(a.write ? "write " : "read ") + Hex(a.address) + " w" + std::to_string(a.width) + " = " +
         Hex(a.value);
}

}  // namespace

std::unique_ptr<RegaccessTwin> RegaccessTwin::Create(TracePlatform& platform, const TracePlatformConfig& config,
                                                     const std::string& image_path, std::string& error,
                                                     std::unique_ptr<PeimImageRun>* reused) {
  std::unique_ptr<PeimImageRun> owned;
  PeimImageRun* run = nullptr;
  if (reused != nullptr && *reused != nullptr && (*reused)->Reattach(platform)) {
    run = reused->get();
  } else {
    owned = PeimImageRun::Create(platform, image_path, error);
    if (owned == nullptr) return nullptr;
    run = owned.get();
    if (reused != nullptr) *reused = std::move(owned);
  }
  const std::optional<uint64_t> get = run->Symbol("__Z18RegisterGetAddressP15RegisterAddress");
  const std::optional<uint64_t> table = run->Symbol("_RegisterHandlerTable");
  if (!get || !table) {
    error = "the link map lists no RegisterGetAddress or RegisterHandlerTable";
    return nullptr;
  }
  std::unique_ptr<RegaccessTwin> twin(new RegaccessTwin(platform, *run, std::move(owned)));
  twin->get_address_ = *get;
  twin->table_ = *table;
  const uint8_t* cache = platform.pei().silicon_context().data() + SiliconContextLayout::CacheKey1;
  twin->start_cache_.assign(cache, cache + kCacheBytes);
  for (size_t w = 0; w < config.pei.config_windows.size(); ++w) {
    std::vector<PciFunctionConfig> functions = config.pei.config_windows[w].functions;
    if (w == 0 && config.pmc.present) functions.push_back({0, 31, 2, {}});
    for (const PciFunctionConfig& f : functions) {
      if (uint8_t* space = platform.pei().config_window(w).Function(f.bus, f.device, f.function)) {
        twin->spaces_.push_back(space);
      }
    }
  }
  GuestArena& arena = twin->run_->Machine().Arena();
  twin->scratch_.record = reinterpret_cast<RegisterAddress*>(arena.Allocate(sizeof(RegisterAddress), 16));
  twin->scratch_.and_mask = arena.Allocate(8, 16);
  twin->scratch_.or_mask = arena.Allocate(8, 16);
  twin->scratch_.buffer = arena.Allocate(kScratchBuffer + 16, 16);
  return twin;
}

void RegaccessTwin::Begin() {
  uint8_t* cache = platform_.pei().silicon_context().data() + SiliconContextLayout::CacheKey1;
  std::memcpy(cache, start_cache_.data(), kCacheBytes);
  ClearDebugStops();
  platform_.violations().Take();
  platform_.pei().StartRecording();
}

void RegaccessTwin::Finish(RegaccessOutcome& out) {
  platform_.pei().StopRecording();
  out.accesses = platform_.pei().Recorded();
  out.violations = platform_.violations().Take();
  out.stops = TakeDebugStops();
  const uint8_t* cache = platform_.pei().silicon_context().data() + SiliconContextLayout::CacheKey1;
  out.cache.assign(cache, cache + kCacheBytes);
}

RegaccessOutcome RegaccessTwin::OnImage(const RegaccessRequest& request) {
  ImageMachine& m = run_->Machine();
  Scratch& s = scratch_;
  RegaccessOutcome out;
  if (request.buffer.size() > kScratchBuffer) {
    out.completed = false;
    out.fault = "the request's buffer exceeds the guest scratch";
    return out;
  }
  saved_.clear();
  for (const uint8_t* space : spaces_) saved_.emplace_back(space, space + kSpaceBytes);
  *s.record = request.record;
  std::memcpy(s.and_mask, request.and_mask.data(), 8);
  std::memcpy(s.or_mask, request.or_mask.data(), 8);
  uint8_t* buffer = s.buffer + (request.misalign % 16);
  if (!request.buffer.empty()) std::memcpy(buffer, request.buffer.data(), request.buffer.size());

  Begin();
  GuestCallResult r;
  const uint32_t type = request.record.Attribute & 0xFF;
  if (request.operation == RegisterOperationGetAddress) {
    r = m.Call(get_address_, {Address(s.record)});
  } else if (type >= RegisterAddressTypes) {
    r.completed = true;
    r.value = kNoRow;
  } else {
    uint32_t handler = 0;
    m.ReadGuest(table_ + 4 * (request.operation * RegisterAddressTypes + type), &handler, 4);
    const uint64_t first = request.operation == RegisterOperationModify ? (request.and_null ? 0 : Address(s.and_mask))
                                                                        : (request.null_buffer ? 0 : Address(buffer));
    std::vector<uint64_t> args = {Address(s.record), first};
    if (request.operation == RegisterOperationModify) args.push_back(request.or_null ? 0 : Address(s.or_mask));
    r = m.Call(handler, args);
  }
  Finish(out);
  out.completed = r.completed;
  out.stopped = r.stopped;
  out.fault = r.fault;
  out.status = static_cast<uint32_t>(r.value);
  out.record = *s.record;
  out.buffer.assign(buffer, buffer + request.buffer.size());
  return out;
}

RegaccessOutcome RegaccessTwin::OnHost(const RegaccessRequest& request) {
  RegaccessOutcome out;
  for (size_t i = 0; i < saved_.size() && i < spaces_.size(); ++i)
    std::memcpy(spaces_[i], saved_[i].data(), kSpaceBytes);
  RegisterAddress record = request.record;
  std::vector<uint8_t> storage(request.buffer.size() + 32);
  uint8_t* aligned = storage.data() + (16 - reinterpret_cast<uintptr_t>(storage.data()) % 16) % 16;
  uint8_t* buffer = aligned + request.misalign % 16;
  if (!request.buffer.empty()) std::memcpy(buffer, request.buffer.data(), request.buffer.size());
  Begin();
  switch (request.operation) {
    case RegisterOperationGetAddress: out.status = RegisterGetAddress(&record); break;
    case RegisterOperationRead: out.status = RegisterRead(&record, request.null_buffer ? nullptr : buffer); break;
    case RegisterOperationWrite: out.status = RegisterWrite(&record, request.null_buffer ? nullptr : buffer); break;
    default:
      out.status = RegisterModify(&record, request.and_null ? nullptr : request.and_mask.data(),
                                  request.or_null ? nullptr : request.or_mask.data());
  }
  Finish(out);
  out.record = record;
  out.buffer.assign(buffer, buffer + request.buffer.size());
  return out;
}

bool AnyUnaligned(const std::vector<MmioAccess>& accesses) {
  for (const MmioAccess& a : accesses) {
    if (a.width != 0 && a.address % a.width != 0) return true;
  }
  return false;
}

bool AnyCrossingConfigSpace(const std::vector<MmioAccess>& accesses) {
  for (const MmioAccess& a : accesses) {
    if (a.address % 0x1000 + a.width > 0x1000) return true;
  }
  return false;
}

std::string CompareOutcomes(const RegaccessOutcome& image, const RegaccessOutcome& host, bool accesses, bool buffers) {
  auto accesses_prefix = [&](size_t n) -> std::string {
    if (!accesses) return "";
    if (n > host.accesses.size()) return "the image made more accesses than the host";
    for (size_t i = 0; i < n; ++i) {
      if (!(image.accesses[i] == host.accesses[i])) {
        return "access " + std::to_string(i) + ": image " + Describe(image.accesses[i]) + ", host " +
               Describe(host.accesses[i]);
      }
    }
    return "";
  };
  if (image.stopped) {
    if (host.stops.empty()) return "the image stopped (" + image.fault + "), the host did not";
    if (image.stops.size() != 1 || !(image.stops[0] == host.stops[0])) {
      return "image stop " + image.fault + ", host stop " + FormatDebugStop(host.stops[0]);
    }
    return accesses_prefix(image.accesses.size());
  }
  if (!image.completed) {
    // An access outside every bus window: the bus reports it on the host, nothing maps it in the emulator.
    if (image.fault.find("which nothing maps") == std::string::npos || host.violations.empty()) {
      return "the image faulted: " + image.fault;
    }
    // The image's faulting access is one the host made: it made fewer before it. An unaligned run is not
    // counted: the emulator splits an access that crosses the window's end and faults on its piece past it.
    if (accesses && image.accesses.size() >= host.accesses.size()) return "the image faulted: " + image.fault;
    return accesses_prefix(image.accesses.size());
  }
  std::string diff;
  if (image.status != host.status) diff += "status image " + Hex(image.status) + " host " + Hex(host.status) + "; ";
  if (std::memcmp(&image.record, &host.record, sizeof image.record) != 0) diff += "record afterwards differs; ";
  if (buffers && image.buffer != host.buffer) diff += "buffer bytes differ; ";
  if (accesses && image.accesses.size() != host.accesses.size()) {
    diff +=
        std::to_string(image.accesses.size()) + " image accesses, " + std::to_string(host.accesses.size()) + " host; ";
  } else if (accesses) {
    std::string a = accesses_prefix(image.accesses.size());
    if (!a.empty()) diff += a + "; ";
  }
  if (image.violations != host.violations) diff += "violations differ; ";
  if (image.stops != host.stops) diff += "debugger stops differ; ";
  if (image.cache != host.cache) diff += "CSR cache differs; ";
  return diff;
}

}  // namespace sim::test
