// The emulator behind ImageMachine: page mappings, MMIO forwarding, lent host pages behind checked accesses, trap
// slots and host service calls, the block hook that keeps execution inside the image's code, counts blocks and
// records them, the optional per-instruction hook that counts exactly and measures the stack, the snapshot and its
// restore, and the fault reports.
#include "sim/image/image_machine.h"

#include <link.h>
#include <sys/mman.h>
#include <unicorn/unicorn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <set>

#include "sim/common/hex_text.h"

namespace sim {

namespace {

constexpr uint8_t kReturnInstruction = 0xC3;
constexpr size_t kArenaSize = 1 << 20;
// Checked runs kept across restores: every mapping change costs the emulator time in the number of regions, so
// past this many they are all dropped at the next restore.
constexpr size_t kKeptCheckedRuns = 64;
// A lent host page outside the process's loaded objects (heap, mmap'd memory) is mapped behind checked accesses
// together with the free pages around it, up to this aligned span: the host's allocations move from run to run
// (more so under a sanitizer's allocator, where each size class has its own area), and one run per area then
// serves every later allocation there instead of one mapping, and later one unmapping, per new page. Pages of
// the loaded objects (statics) are still mapped one at a time.
constexpr uint64_t kCheckedSpan = uint64_t{1} << 30;

// The emulator's per-block and per-access callbacks run thousands of times per guest call; a fuzzer build leaves
// them out of its coverage (the image's own blocks are its feedback), as tracing their comparisons cost more than
// the callbacks themselves.
#if defined(__clang__)
#define HOT_CALLBACK __attribute__((no_sanitize("coverage")))
#else
#define HOT_CALLBACK
#endif

[[noreturn]] void Fatal(const std::string& what) {
  std::fprintf(stderr, "simulator: image machine: %s\n", what.c_str());
  std::abort();
}

void Check(uc_err err, const std::string& what) {
  if (err != UC_ERR_OK) Fatal(what + ": " + uc_strerror(err));
}

// Where new machines count their blocks.
uint8_t* g_default_counters = nullptr;
size_t g_default_counters_size = 0;
std::atomic<unsigned> g_block_records{0};

// One forwarded MMIO range.
struct MmioTarget {
  MmioBus* bus;
  uint64_t base;
};

HOT_CALLBACK uint64_t MmioRead(uc_engine*, uint64_t offset, unsigned size, void* user) {
  auto* t = static_cast<MmioTarget*>(user);
  return t->bus->Read(t->base + offset, size);
}

HOT_CALLBACK void MmioWrite(uc_engine*, uint64_t offset, unsigned size, uint64_t value, void* user) {
  auto* t = static_cast<MmioTarget*>(user);
  t->bus->Write(t->base + offset, size, value);
}

// Page numbers as disjoint runs [first, end): a window of 256 MiB is one entry, not 65,536.
class PageRuns {
 public:
  bool Contains(uint64_t page) const {
    auto it = runs_.upper_bound(page);
    return it != runs_.begin() && page < std::prev(it)->second;
  }
  // The first page at or after `page` that the set holds, or `limit` when none lies below it.
  uint64_t NextHeld(uint64_t page, uint64_t limit) const {
    if (Contains(page)) return page;
    auto it = runs_.upper_bound(page);
    return it == runs_.end() ? limit : std::min(it->first, limit);
  }
  // For a page the set does not hold: the end of the last run below it, or `floor` when that lies lower.
  uint64_t PreviousEnd(uint64_t page, uint64_t floor) const {
    auto it = runs_.upper_bound(page);
    return it == runs_.begin() ? floor : std::max(std::prev(it)->second, floor);
  }
  void Insert(uint64_t first, uint64_t end) {
    if (first >= end) return;
    auto it = runs_.upper_bound(first);
    if (it != runs_.begin() && std::prev(it)->second >= first) {
      --it;
      first = it->first;
    }
    while (it != runs_.end() && it->first <= end) {
      end = std::max(end, it->second);
      it = runs_.erase(it);
    }
    runs_.emplace(first, end);
  }
  void Erase(uint64_t first, uint64_t end) {
    if (first >= end) return;
    auto it = runs_.upper_bound(first);
    if (it != runs_.begin() && std::prev(it)->second > first) --it;
    while (it != runs_.end() && it->first < end) {
      const uint64_t run_first = it->first, run_end = it->second;
      it = runs_.erase(it);
      if (run_first < first) runs_.emplace(run_first, first);
      if (run_end > end) runs_.emplace(end, run_end);
    }
  }

 private:
  std::map<uint64_t, uint64_t> runs_;  // first page -> end page
};

// Guest-writable data memory the machine maps (its stack and tables, writable host mappings, a driver's data
// sections): emulator MMIO whose accesses go straight to the host memory behind it. On emulator RAM, this tree's
// Unicorn sends every store whose address comes from a register (push, [esp+n], [eax]) through its check for
// translated code on the page, which allocates per store; through the callbacks every access costs one call.
// Code and read-only memory stay RAM.
struct DirectBacking {
  uint8_t* host;  // the host memory at the run's first guest address
};

// Every stack push and pop comes through here: copies of a constant size compile to one load or store each
// (still checked by the sanitizers), where a copy of the variable size is a library call.
HOT_CALLBACK uint64_t DirectRead(uc_engine*, uint64_t offset, unsigned size, void* user) {
  const uint8_t* at = static_cast<DirectBacking*>(user)->host + offset;
  switch (size) {
    case 1: return *at;
    case 2: {
      uint16_t v;
      std::memcpy(&v, at, 2);
      return v;
    }
    case 4: {
      uint32_t v;
      std::memcpy(&v, at, 4);
      return v;
    }
    default: {
      uint64_t v = 0;
      std::memcpy(&v, at, size < 8 ? size : 8);
      return v;
    }
  }
}

HOT_CALLBACK void DirectWrite(uc_engine*, uint64_t offset, unsigned size, uint64_t value, void* user) {
  uint8_t* at = static_cast<DirectBacking*>(user)->host + offset;
  switch (size) {
    case 1: *at = static_cast<uint8_t>(value); return;
    case 2: {
      const uint16_t v = static_cast<uint16_t>(value);
      std::memcpy(at, &v, 2);
      return;
    }
    case 4: {
      const uint32_t v = static_cast<uint32_t>(value);
      std::memcpy(at, &v, 4);
      return;
    }
    default: std::memcpy(at, &value, size < 8 ? size : 8);
  }
}

}  // namespace

// Lent host pages seen through checked accesses: [base, end).
struct CheckedPage {
  ImageMachine::State* state;
  uint64_t base;
  uint64_t end;
};

struct ImageMachine::State {
  ImageMachine* machine = nullptr;
  uc_engine* uc = nullptr;
  bool is64 = false;
  size_t page = 4096;
  uint8_t* traps_page = nullptr;  // slot 0 is where a call returns to
  uint64_t trap_base = 0;
  std::vector<std::pair<std::string, TrapHandler>> traps{{"return", nullptr}};
  std::map<uint64_t, StopHandler> stops;
  std::vector<std::pair<uint64_t, uint64_t>> code;  // the image's executable sections
  struct Range {
    uint64_t start, end;
    std::string name;
  };
  std::vector<Range> ranges;  // named host and MMIO mappings, for messages
  PageRuns pages;             // page numbers mapped so far
  std::vector<std::unique_ptr<MmioTarget>> mmio;
  std::map<uint64_t, std::unique_ptr<DirectBacking>> direct;  // by the guest start of each data run
  uint8_t* stack = nullptr;
  size_t stack_size = 0;
  uint64_t image_base = 0;
  std::map<uint64_t, uc_hook> stop_hooks;  // one range-limited code hook per stop address

  // Counting and recording.
  bool exact = false;
  uc_hook exact_hook = 0;
  uint8_t* counters = nullptr;
  size_t counters_size = 0;
  uint64_t counters_mask = 0;  // counters_size - 1 when that is a power of two (no division per block), else 0
  bool recording = false;      // IMAGE_COVERAGE_DIR is set
  std::set<std::pair<uint64_t, uint32_t>> recorded;  // image-relative start and size of each block run
  std::string name = "image";

  // The snapshot: guest-writable memory kept as it was, and what was mapped since.
  struct Area {
    uint8_t* host;
    size_t size;
  };
  std::vector<Area> writable;  // guest-writable memory mapped before the snapshot
  struct Added {
    uint64_t start, end;
    const void* host;
    uint32_t perms;
    MmioTarget* mmio;                                 // an MMIO window, or null for host memory
    std::vector<std::pair<uint64_t, uint64_t>> runs;  // the page runs this mapping added
    bool stale;                                       // left from before the last restore
  };
  std::vector<Added> added;
  struct Snapshot {
    uc_context* cpu = nullptr;
    std::vector<std::vector<uint8_t>> bytes;  // one per writable area
    size_t traps = 0;
    std::map<uint64_t, StopHandler> stops;
    GuestReach reach;
    std::vector<Range> ranges;
    size_t arena_used = 0;
    HostServiceGate* gate = nullptr;
  };
  std::unique_ptr<Snapshot> snapshot;
  size_t restored_pages = 0;
  std::string placement_error;  // why the machine has no emulator

  // Shared host memory: lent host pages behind checked accesses, the host code pages holding service entries.
  HostServiceGate* gate = nullptr;
  std::vector<std::unique_ptr<CheckedPage>> checked;
  std::set<uint64_t> host_code_pages;
  // The emulator performs a guest read that is not aligned to its size, on pages behind callbacks, as the two
  // aligned reads of that size around it, and only the bytes of the guest's own read are kept. The read hook
  // notes the guest's read and the halves that follow it, so the checked pages check the guest's bytes only.
  struct SplitRead {
    uint64_t address = 0, size = 0;  // the guest's read
    uint64_t first = 0;              // the first half's address: `address` rounded down to `size`
    unsigned halves = 0;             // halves begun so far
    bool active = false;
  };
  SplitRead split;
  uc_hook read_hook = 0;

  // The call in progress.
  bool running = false;
  uint64_t budget = 0;
  uint64_t instructions = 0;
  uint64_t blocks = 0;
  uint64_t lowest_sp = 0;
  std::string fault;
  bool stopped = false;

  uint64_t Reg(int reg) const {
    uint64_t v = 0;
    uc_reg_read(uc, reg, &v);
    return is64 ? v : (v & 0xFFFFFFFFu);
  }
  uint64_t Pc() const { return Reg(is64 ? UC_X86_REG_RIP : UC_X86_REG_EIP); }
  uint64_t Sp() const { return Reg(is64 ? UC_X86_REG_RSP : UC_X86_REG_ESP); }

  HOT_CALLBACK bool InCode(uint64_t address) const {
    for (const auto& [start, end] : code) {
      if (address >= start && address < end) return true;
    }
    return false;
  }
  // The end of the code section holding `address` (which lies in code).
  uint64_t CodeEnd(uint64_t address) const {
    for (const auto& [start, end] : code) {
      if (address >= start && address < end) return end;
    }
    return address;
  }

  // What lies at a guest address, for messages.
  std::string Where(uint64_t address) const {
    const PlacedImage& image = machine->Image();
    if (const PlacedSection* s = image.SectionAt(address)) return "the image's section " + s->name;
    if (address >= image.Base() && address < image.Base() + image.MappedSize()) return "the image's headers or padding";
    if (address >= trap_base && address < trap_base + page) return "the platform's service traps";
    for (const Range& r : ranges) {
      if (address >= r.start && address < r.end) return r.name;
    }
    if (std::optional<ReachRegion> r = machine->reach_.Find(address)) return r->name;
    return "nothing";
  }

  void Fail(std::string message) {
    if (fault.empty()) fault = std::move(message) + " (instruction at " + Hex(Pc()) + ")";
    uc_emu_stop(uc);
  }

  // The pages around `p` (a page of host memory nothing maps) that one checked run may cover: within its aligned
  // span, clear of every mapped page and of the process's loaded objects; just `p` when it lies in one of those.
  std::pair<uint64_t, uint64_t> CheckedRun(uint64_t p) const;

  // Maps the host page of a lent address behind checked accesses (each access of the guest is checked against
  // what is lent at that moment, then copied to or from the host).
  bool ShareData(uint64_t address);

  // A host code page holding a service entry: emulator memory at the same address filled with returns; the code
  // hook runs the service the guest called there.
  bool ShareCode(uint64_t address) {
    if (gate == nullptr || !gate->IsService(address) || !CalledFromImage()) return false;
    const uint64_t p = address / page * page;
    if (uc_mem_map(uc, p, page, UC_PROT_READ | UC_PROT_EXEC) != UC_ERR_OK) return false;
    std::vector<uint8_t> returns(page, kReturnInstruction);
    uc_mem_write(uc, p, returns.data(), page);
    pages.Insert(p / page, p / page + 1);
    host_code_pages.insert(p / page);
    return true;
  }

  // Whether the return address on the stack lies in the image's code (a call made by the image).
  bool CalledFromImage() const { return InCode(ReturnAddress()); }
  uint64_t ReturnAddress() const {
    uint64_t ret = 0;
    uc_mem_read(uc, Sp(), &ret, is64 ? 8 : 4);
    return ret;
  }
  // The guest address of the indirect call (FF /2) or direct call that returns to `ret`, found by its encodings.
  std::string CallSite(uint64_t ret) const;

  // Ends the call with `message` as it is (no instruction address added).
  void Refuse(std::string message) {
    if (fault.empty()) fault = std::move(message);
    uc_emu_stop(uc);
  }

  // Host memory mapped at [start, end): since a snapshot, the same mapping left from before the restore is kept,
  // and anything else left there is dropped first.
  void MapDirect(uint64_t start, uint64_t end, uint32_t perms, uint8_t* host) {
    if (snapshot == nullptr) return MapPages(start, end, perms, host);
    for (Added& a : added) {
      if (a.stale && a.mmio == nullptr && a.start == start && a.end == end && a.host == host && a.perms == perms) {
        a.stale = false;
        return;
      }
    }
    MakeRoom(start, end);
    Added a{start, end, host, perms, nullptr, {}, false};
    MapPages(start, end, perms, host, &a.runs);
    added.push_back(std::move(a));
  }

  void Unmap(uint64_t start, uint64_t end) {
    Check(uc_mem_unmap(uc, start, end - start), "unmapping " + Hex(start));
    pages.Erase(start / page, end / page);
    direct.erase(direct.lower_bound(start), direct.lower_bound(end));
  }
  void Drop(Added& a) {
    if (a.mmio != nullptr) {
      Unmap(a.start, a.end);
      mmio.erase(std::find_if(mmio.begin(), mmio.end(), [&](const auto& t) { return t.get() == a.mmio; }));
    } else {
      for (const auto& [start, end] : a.runs) Unmap(start, end);
    }
  }
  // Drops every mapping left from before the restore.
  void DropStale() {
    for (Added& a : added) {
      if (a.stale) Drop(a);
    }
    std::erase_if(added, [](const Added& a) { return a.stale; });
  }
  // Drops what lies in [start, end) and may go: stale mappings, checked pages and service code pages.
  void MakeRoom(uint64_t start, uint64_t end) {
    for (Added& a : added) {
      if (a.stale && a.start < end && start < a.end) {
        Drop(a);
        a.runs.clear();
        a.mmio = nullptr;
        a.end = a.start;  // dropped: erased below
      }
    }
    std::erase_if(added, [](const Added& a) { return a.stale && a.end == a.start; });
    std::erase_if(checked, [&](const std::unique_ptr<CheckedPage>& c) {
      if (c->end <= start || c->base >= end) return false;
      Unmap(c->base, c->end);
      return true;
    });
    for (auto it = host_code_pages.lower_bound(start / page); it != host_code_pages.end() && *it * page < end;) {
      Unmap(*it * page, *it * page + page);
      it = host_code_pages.erase(it);
    }
  }

  // One image block about to run: fed to the coverage counters and the record.
  HOT_CALLBACK void CountBlock(uint64_t address, uint32_t size) {
    ++blocks;
    const uint64_t rva = address - image_base;
    if (counters != nullptr) {
      uint8_t& c = counters[counters_mask != 0 ? rva & counters_mask : rva % counters_size];
      if (c != 0xFF) ++c;
    }
    if (recording) recorded.emplace(rva, size);
  }

  void MapPages(uint64_t start, uint64_t end, uint32_t perms, uint8_t* host,
                std::vector<std::pair<uint64_t, uint64_t>>* runs = nullptr) {
    // Runs of pages not mapped yet.
    for (uint64_t at = start; at < end;) {
      if (pages.Contains(at / page)) {
        at += page;
        continue;
      }
      const uint64_t run = pages.NextHeld(at / page, end / page) * page;
      pages.Insert(at / page, run / page);
      if (perms == (UC_PROT_READ | UC_PROT_WRITE)) {  // data: read and write, never executed
        auto backing = std::make_unique<DirectBacking>(DirectBacking{host + (at - start)});
        Check(uc_mmio_map(uc, at, run - at, DirectRead, backing.get(), DirectWrite, backing.get()),
              "mapping " + Hex(at));
        direct[at] = std::move(backing);
      } else {
        Check(uc_mem_map_ptr(uc, at, run - at, perms, host + (at - start)), "mapping " + Hex(at));
      }
      if (runs != nullptr) runs->emplace_back(at, run);
      at = run;
    }
  }
};

uint64_t TrapCall::Arg(unsigned index) const {
  if (machine_.Is64()) {
    static const int kRegs[4] = {UC_X86_REG_RCX, UC_X86_REG_RDX, UC_X86_REG_R8, UC_X86_REG_R9};
    if (index < 4) return machine_.state_->Reg(kRegs[index]);
    uint64_t v = 0;
    machine_.ReadGuest(stack_ + 8 + 32 + 8 * (index - 4), &v, 8);
    return v;
  }
  uint32_t v = 0;
  machine_.ReadGuest(stack_ + 4 + 4 * index, &v, 4);
  return v;
}

uint64_t TrapCall::ReturnAddress() const {
  uint64_t ret = 0;
  machine_.ReadGuest(stack_, &ret, machine_.Is64() ? 8 : 4);
  return ret;
}

void TrapCall::Refuse(const std::string& message) const {
  machine_.state_->Refuse(message + "; " + machine_.state_->CallSite(ReturnAddress()));
}

namespace {

// Notes a guest read that is not aligned to its size, then the two aligned halves the emulator reads for it;
// any other read ends what was noted.
HOT_CALLBACK void OnRead(uc_engine*, uc_mem_type, uint64_t address, int size, int64_t, void* user) {
  ImageMachine::State::SplitRead& split = static_cast<ImageMachine::State*>(user)->split;
  const uint64_t bytes = static_cast<uint64_t>(size);
  if (bytes > 1 && (address & (bytes - 1)) != 0) {
    split = {address, bytes, address & ~(bytes - 1), 0, true};
    return;
  }
  if (split.active && split.halves < 2 && bytes == split.size && address == split.first + split.halves * bytes) {
    ++split.halves;
    return;
  }
  split.active = false;
}

uint64_t CheckedRead(uc_engine*, uint64_t offset, unsigned size, void* user) {
  auto* p = static_cast<CheckedPage*>(user);
  const uint64_t address = p->base + offset;
  uint64_t value = 0;
  const ImageMachine::State::SplitRead& split = p->state->split;
  if (split.active && split.halves > 0 && address >= split.first && address + size <= split.first + 2 * split.size) {
    // A piece of a half: only the bytes the guest asked for are read (and checked); the others are dropped.
    const uint64_t from = std::max(address, split.address);
    const uint64_t to = std::min(address + size, split.address + split.size);
    if (from >= to) return 0;
    uint8_t bytes[8] = {};
    if (!p->state->machine->Reach().Read(from, bytes + (from - address), to - from)) {
      p->state->Fail("the image read " + std::to_string(split.size) + " bytes at " + Hex(split.address) + ": " +
                     p->state->machine->Reach().Check(split.address, split.size, false));
    }
    std::memcpy(&value, bytes, size < 8 ? size : 8);
    return value;
  }
  if (!p->state->machine->Reach().Read(address, &value, size)) {
    p->state->Fail("the image read " + std::to_string(size) + (size == 1 ? " byte" : " bytes") + " at " + Hex(address) +
                   ": " + p->state->machine->Reach().Check(address, size, false));
  }
  return value;
}

void CheckedWrite(uc_engine*, uint64_t offset, unsigned size, uint64_t value, void* user) {
  auto* p = static_cast<CheckedPage*>(user);
  const uint64_t address = p->base + offset;
  if (!p->state->machine->Reach().Write(address, &value, size)) {
    p->state->Fail("the image wrote " + std::to_string(size) + (size == 1 ? " byte" : " bytes") + " (value " +
                   Hex(value) + ") to " + Hex(address) + ": " + p->state->machine->Reach().Check(address, size, true));
  }
}

}  // namespace

namespace {

// The page-widened address ranges of every loaded object's segments (the program, its libraries), sorted.
const std::vector<std::pair<uint64_t, uint64_t>>& LoadedObjectRanges(uint64_t page) {
  static const std::vector<std::pair<uint64_t, uint64_t>> ranges = [page] {
    std::vector<std::pair<uint64_t, uint64_t>> found;
    auto add = [](dl_phdr_info* info, size_t, void* out) {
      auto& list = *static_cast<std::vector<std::pair<uint64_t, uint64_t>>*>(out);
      for (unsigned i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type == PT_LOAD)
          list.emplace_back(info->dlpi_addr + ph.p_vaddr, info->dlpi_addr + ph.p_vaddr + ph.p_memsz);
      }
      return 0;
    };
    dl_iterate_phdr(add, &found);
    for (auto& [start, end] : found) {
      start = start / page * page;
      end = (end + page - 1) / page * page;
    }
    std::sort(found.begin(), found.end());
    return found;
  }();
  return ranges;
}

}  // namespace

std::pair<uint64_t, uint64_t> ImageMachine::State::CheckedRun(uint64_t p) const {
  uint64_t first = p & ~(kCheckedSpan - 1), end = first + kCheckedSpan;
  for (const auto& [start, stop] : LoadedObjectRanges(page)) {
    if (p >= start && p < stop) return {p, p + page};
    if (stop <= p) first = std::max(first, stop);
    if (start > p) end = std::min(end, start);
  }
  first = std::max(first, pages.PreviousEnd(p / page, first / page) * page);
  end = std::min(end, pages.NextHeld(p / page, end / page) * page);
  return {first, end};
}

bool ImageMachine::State::ShareData(uint64_t address) {
  if (!machine->Reach().Find(address)) return false;
  const auto [first, end] = CheckedRun(address / page * page);
  checked.push_back(std::make_unique<CheckedPage>(CheckedPage{this, first, end}));
  if (uc_mmio_map(uc, first, end - first, CheckedRead, checked.back().get(), CheckedWrite, checked.back().get()) !=
      UC_ERR_OK) {
    checked.pop_back();
    return false;
  }
  pages.Insert(first / page, end / page);
  return true;
}

std::string ImageMachine::State::CallSite(uint64_t ret) const {
  uint8_t b[8] = {};
  const bool readable = uc_mem_read(uc, ret - 8, b, 8) == UC_ERR_OK;
  // b[8 - k] is the first byte of a k-byte instruction ending at the return address.
  auto indirect = [&](unsigned k) {
    unsigned at = 8 - k;
    if (is64 && b[at] >= 0x40 && b[at] <= 0x4F) ++at;  // REX prefix
    if (at + 2 > 8 || b[at] != 0xFF || ((b[at + 1] >> 3) & 7) != 2) return false;
    const unsigned mod = b[at + 1] >> 6, rm = b[at + 1] & 7;
    unsigned length = 2 +
                      (mod == 1   ? 1
                       : mod == 2 ? 4
                                  : 0) +
                      (mod != 3 && rm == 4 ? 1 : 0) + (mod == 0 && rm == 5 ? 4 : 0);
    return at + length == 8;
  };
  if (readable) {
    for (unsigned k : {2u, 3u, 4u, 6u, 7u}) {
      if (indirect(k)) return "the call at " + Hex(ret - k);
    }
    if (b[3] == 0xE8) return "the call at " + Hex(ret - 5);
  }
  return "the call returning to " + Hex(ret);
}

namespace {

// Runs before each block: trap slots and service entries (each a block of one return), then the checks that the
// whole block lies in the image's code and within the budget.
HOT_CALLBACK void OnBlock(uc_engine*, uint64_t address, uint32_t size, void* user) {
  auto& s = *static_cast<ImageMachine::State*>(user);
  if (address - s.trap_base < s.traps.size()) {
    const size_t slot = address - s.trap_base;
    if (slot == 0) return;
    const uint64_t sp = s.Sp();
    if (s.exact) s.lowest_sp = std::min(s.lowest_sp, sp);
    const uint64_t result = s.traps[slot].second(TrapCall(*s.machine, sp));
    if (!s.fault.empty()) return;  // the handler refused the call
    if (s.is64) {
      uc_reg_write(s.uc, UC_X86_REG_RAX, &result);
    } else {
      const uint64_t low = result & 0xFFFFFFFFu, high = result >> 32;
      uc_reg_write(s.uc, UC_X86_REG_EAX, &low);
      uc_reg_write(s.uc, UC_X86_REG_EDX, &high);
    }
    return;  // the slot's own instruction returns to the caller
  }
  // A block of the image's own code is no host service entry: no page lookup for the common case.
  const bool in_code = s.InCode(address);
  if (!in_code && !s.host_code_pages.empty() && s.host_code_pages.count(address / s.page)) {
    if (s.gate == nullptr || !s.gate->IsService(address)) {
      s.Fail("the image executed host code at " + Hex(address) +
             ", which is no service entry point the platform handed it");
      return;
    }
    if (!s.CalledFromImage()) {
      s.Fail("the image jumped into host code at " + Hex(address) + " without a call");
      return;
    }
    if (s.exact) s.lowest_sp = std::min(s.lowest_sp, s.Sp());
    std::string refusal;
    const uint64_t result = s.gate->Call(address, TrapCall(*s.machine, s.Sp()), refusal);
    if (!refusal.empty()) {
      s.Refuse(refusal + "; " + s.CallSite(s.ReturnAddress()));
      return;
    }
    uc_reg_write(s.uc, UC_X86_REG_RAX, &result);
    return;  // the page's return instruction goes back to the image
  }
  if (!in_code) {
    s.Fail("the image executed at " + Hex(address) + ", outside its code, in " + s.Where(address));
    return;
  }
  if (size != 0 && !s.InCode(address + size - 1)) {
    const uint64_t past = s.CodeEnd(address);
    s.Fail("the image executed at " + Hex(past) + ", outside its code, in " + s.Where(past));
    return;
  }
  s.CountBlock(address, size);
  if (!s.exact && s.blocks > s.budget) {
    s.Fail("the image ran past its budget of " + std::to_string(s.budget) + " instructions (a hang) at " +
           Hex(address));
  }
}

// Exact counting: each instruction of the image's code (trap slots and service entries are not counted).
HOT_CALLBACK void OnInstruction(uc_engine*, uint64_t address, uint32_t, void* user) {
  auto& s = *static_cast<ImageMachine::State*>(user);
  if (!s.InCode(address)) return;
  if (++s.instructions > s.budget) {
    s.Fail("the image ran past its budget of " + std::to_string(s.budget) + " instructions (a hang) at " +
           Hex(address));
    return;
  }
  s.lowest_sp = std::min(s.lowest_sp, s.Sp());
}

// A stop address reached (each stop has a code hook limited to its own address).
void OnStop(uc_engine*, uint64_t address, uint32_t, void* user) {
  auto& s = *static_cast<ImageMachine::State*>(user);
  auto stop = s.stops.find(address);
  if (stop == s.stops.end() || !s.fault.empty()) return;
  s.fault = stop->second(TrapCall(*s.machine, s.Sp()));
  s.stopped = true;
  uc_emu_stop(s.uc);
}

bool OnInvalid(uc_engine*, uc_mem_type type, uint64_t address, int size, int64_t value, void* user) {
  auto& s = *static_cast<ImageMachine::State*>(user);
  if (s.gate != nullptr) {
    if ((type == UC_MEM_READ_UNMAPPED || type == UC_MEM_WRITE_UNMAPPED) && s.ShareData(address)) return true;
    if (type == UC_MEM_FETCH_UNMAPPED && s.ShareCode(address)) return true;
  }
  const std::string at = Hex(address) + " in " + s.Where(address);
  const std::string bytes = std::to_string(size) + (size == 1 ? " byte" : " bytes");
  switch (type) {
    case UC_MEM_WRITE_PROT: {
      std::string why = ", which is read-only";
      if (s.machine->Image().ExecutesInPlace() && s.Where(address).rfind("the image", 0) == 0)
        why = ", which is flash: an image executing in place writes none of its sections";
      s.Fail("the image wrote " + bytes + " (value " + Hex(static_cast<uint64_t>(value)) + ") to " + at + why);
      break;
    }
    case UC_MEM_WRITE_UNMAPPED:
      s.Fail("the image wrote " + bytes + " (value " + Hex(static_cast<uint64_t>(value)) + ") to " + Hex(address) +
             ", which nothing maps" + (s.gate != nullptr ? " and the platform did not lend it" : ""));
      break;
    case UC_MEM_READ_UNMAPPED:
      s.Fail("the image read " + bytes + " at " + Hex(address) + ", which nothing maps" +
             (s.gate != nullptr ? " and the platform did not lend it" : ""));
      break;
    case UC_MEM_READ_PROT: s.Fail("the image read " + bytes + " at " + at + ", which is not readable"); break;
    case UC_MEM_FETCH_UNMAPPED:
    case UC_MEM_FETCH_PROT:
      s.Fail("the image executed at " + Hex(address) + ", outside its code, in " + s.Where(address));
      break;
    default: s.Fail("the image made an invalid access at " + at); break;
  }
  return false;
}

// Writes the distinct blocks of one machine's image to $IMAGE_COVERAGE_DIR/<name>.<pid>.<n>.blocks.
void WriteBlockRecord(const std::string& name, const std::set<std::pair<uint64_t, uint32_t>>& blocks) {
  const char* dir = std::getenv("IMAGE_COVERAGE_DIR");
  if (dir == nullptr) return;
  const std::string path = std::string(dir) + "/" + name + "." + std::to_string(getpid()) + "." +
                           std::to_string(g_block_records.fetch_add(1)) + ".blocks";
  FILE* out = std::fopen(path.c_str(), "w");
  if (out == nullptr) {
    std::fprintf(stderr, "simulator: image machine: cannot write the block record %s\n", path.c_str());
    return;
  }
  std::fprintf(out, "# image %s\n", name.c_str());
  for (const auto& [rva, size] : blocks) {
    std::fprintf(out, "0x%llx 0x%x\n", static_cast<unsigned long long>(rva), static_cast<unsigned>(size));
  }
  std::fclose(out);
}

}  // namespace

ImageMachine::ImageMachine(const PlacedImage& image, size_t stack_size, std::span<const ReservedRange> reserved)
    : image_(image), is64_(image.Is64()), arena_(kArenaSize, reserved), state_(std::make_unique<State>()) {
  State& s = *state_;
  s.machine = this;
  s.is64 = is64_;
  s.page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  // The machine's own below-4-GiB memory, clear of the platform's windows and flash: the guest reaches those
  // addresses as devices, so none of its memory may lie there.
  s.stack_size = (stack_size + s.page - 1) / s.page * s.page;
  s.traps_page = static_cast<uint8_t*>(MapBelow4GiB(s.page, reserved));
  s.stack = static_cast<uint8_t*>(MapBelow4GiB(s.stack_size, reserved));
  const char* missing = !arena_.Placed()          ? "the simulator's tables"
                        : s.traps_page == nullptr ? "the trap slots"
                        : s.stack == nullptr      ? "the guest stack"
                                                  : nullptr;
  if (missing != nullptr) {
    s.placement_error = std::string("no room below 4 GiB clear of the platform's windows for ") + missing;
    return;
  }
  Check(uc_open(UC_ARCH_X86, is64_ ? UC_MODE_64 : UC_MODE_32, &uc_), "opening the emulator");
  s.uc = uc_;

  // The image: a PEIM's pages read and execute; a driver's headers read-only, each section as it says.
  if (image.ExecutesInPlace()) {
    // Whole pages around the image (one adopted in place from flash need not start on a page).
    const uint64_t start = image.Base() / s.page * s.page;
    const uint64_t end = (image.Base() + image.MappedSize() + s.page - 1) / s.page * s.page;
    s.MapPages(start, end, UC_PROT_READ | UC_PROT_EXEC, image.Host() - (image.Base() - start));
  } else {
    for (const PlacedSection& sec : image.Sections()) {
      const uint64_t start = sec.start / s.page * s.page, end = (sec.end + s.page - 1) / s.page * s.page;
      uint32_t perms =
          (sec.read ? UC_PROT_READ : 0) | (sec.write ? UC_PROT_WRITE : 0) | (sec.execute ? UC_PROT_EXEC : 0);
      s.MapPages(start, end, perms, image.Host() + (start - image.Base()));
    }
    s.MapPages(image.Base(), image.Base() + image.MappedSize(), UC_PROT_READ, image.Host());
  }
  for (const PlacedSection& sec : image.Sections()) {
    if (sec.execute) s.code.emplace_back(sec.start, sec.end);
    if (sec.write && !image.ExecutesInPlace())
      s.writable.push_back({image.Host() + (sec.start - image.Base()), static_cast<size_t>(sec.end - sec.start)});
  }
  s.image_base = image.Base();
  SetBlockCounters(g_default_counters, g_default_counters_size);
  s.recording = std::getenv("IMAGE_COVERAGE_DIR") != nullptr;
  // The image is the guest's own: lent with the protections it is mapped with.
  reach_.Lend(image.Base(), image.MappedSize(), false, "the image", image.Host());
  if (!image.ExecutesInPlace()) {
    for (const PlacedSection& sec : image.Sections()) {
      if (sec.read)
        reach_.Lend(sec.start, sec.end - sec.start, sec.write, "the image's section " + sec.name,
                    image.Host() + (sec.start - image.Base()));
    }
  }

  std::memset(s.traps_page, kReturnInstruction, s.page);
  s.trap_base = reinterpret_cast<uintptr_t>(s.traps_page);
  s.MapPages(s.trap_base, s.trap_base + s.page, UC_PROT_READ | UC_PROT_EXEC, s.traps_page);

  MapHost(s.stack, s.stack_size, true, "the guest stack");
  MapHost(arena_.base(), arena_.capacity(), true, "the simulator's tables");

  uc_hook hook;
  Check(uc_hook_add(uc_, &hook, UC_HOOK_BLOCK, reinterpret_cast<void*>(&OnBlock), &s, 1, 0), "adding the block hook");
  Check(uc_hook_add(uc_, &hook, UC_HOOK_MEM_INVALID, reinterpret_cast<void*>(&OnInvalid), &s, 1, 0),
        "adding the fault hook");
}

ImageMachine::~ImageMachine() {
  State& s = *state_;
  if (s.recording) WriteBlockRecord(s.name, s.recorded);
  if (s.snapshot != nullptr) uc_context_free(s.snapshot->cpu);
  if (uc_ != nullptr) uc_close(uc_);
  if (s.traps_page != nullptr) munmap(s.traps_page, s.page);
  if (s.stack != nullptr) munmap(s.stack, s.stack_size);
}

const std::string& ImageMachine::PlacementError() const { return state_->placement_error; }

bool ImageMachine::ClearOf(std::span<const ReservedRange> reserved) const {
  const State& s = *state_;
  if (uc_ == nullptr) return false;
  return OverlappedRange(reinterpret_cast<uintptr_t>(s.traps_page), s.page, reserved) == nullptr &&
         OverlappedRange(reinterpret_cast<uintptr_t>(s.stack), s.stack_size, reserved) == nullptr &&
         OverlappedRange(reinterpret_cast<uintptr_t>(arena_.base()), arena_.capacity(), reserved) == nullptr;
}

void ImageMachine::MapHost(const void* address, size_t size, bool writable, std::string name) {
  State& s = *state_;
  const uint64_t at = reinterpret_cast<uintptr_t>(address);
  if (!is64_ && at + size > 0x100000000ull)
    Fatal(name + " at " + Hex(at) + " lies above 4 GiB, out of an IA-32 image's reach");
  const uint64_t start = at / s.page * s.page, end = (at + size + s.page - 1) / s.page * s.page;
  s.MapDirect(start, end, UC_PROT_READ | (writable ? UC_PROT_WRITE : 0),
              reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(start)));
  if (writable && s.snapshot == nullptr)
    s.writable.push_back({static_cast<uint8_t*>(const_cast<void*>(address)), size});
  reach_.Lend(at, size, writable, name);
  s.ranges.push_back({at, at + size, std::move(name)});
}

void ImageMachine::MapReadOnly(uint64_t guest, const void* host, size_t size, std::string name) {
  State& s = *state_;
  if (guest % s.page != 0 || reinterpret_cast<uintptr_t>(host) % s.page != 0)
    Fatal(name + " at " + Hex(guest) + " does not start on a page");
  const uint64_t end = (guest + size + s.page - 1) / s.page * s.page;
  if (!is64_ && end > 0x100000000ull)
    Fatal(name + " at " + Hex(guest) + " lies above 4 GiB, out of an IA-32 image's reach");
  s.MapDirect(guest, end, UC_PROT_READ, static_cast<uint8_t*>(const_cast<void*>(host)));
  reach_.Lend(guest, size, false, name, host);
  s.ranges.push_back({guest, guest + size, std::move(name)});
}

void ImageMachine::MapMmio(uint64_t base, uint64_t size, MmioBus& bus, std::string name) {
  State& s = *state_;
  const uint64_t start = base / s.page * s.page, end = (base + size + s.page - 1) / s.page * s.page;
  if (s.snapshot != nullptr) {
    // The same window as before the restore serves the new bus: no unmapping and mapping again.
    for (State::Added& a : s.added) {
      if (a.stale && a.mmio != nullptr && a.start == start && a.end == end) {
        a.mmio->bus = &bus;
        a.stale = false;
        s.ranges.push_back({base, base + size, std::move(name)});
        return;
      }
    }
    s.MakeRoom(start, end);
  }
  s.mmio.push_back(std::make_unique<MmioTarget>(MmioTarget{&bus, start}));
  Check(uc_mmio_map(uc_, start, end - start, MmioRead, s.mmio.back().get(), MmioWrite, s.mmio.back().get()),
        "mapping " + name + " at " + Hex(base));
  s.pages.Insert(start / s.page, end / s.page);
  if (s.snapshot != nullptr) s.added.push_back({start, end, nullptr, 0, s.mmio.back().get(), {}, false});
  s.ranges.push_back({base, base + size, std::move(name)});
}

void ImageMachine::MapBus(MmioBus& bus) {
  std::vector<MmioBus::MappedRegion> regions = bus.Regions();
  std::sort(regions.begin(), regions.end(), [](const auto& a, const auto& b) { return a.base < b.base; });
  const uint64_t page = state_->page;
  for (size_t i = 0; i < regions.size();) {
    uint64_t start = regions[i].base / page * page;
    uint64_t end = (regions[i].base + regions[i].size + page - 1) / page * page;
    std::string name = regions[i].name;
    size_t j = i + 1;
    for (; j < regions.size() && regions[j].base / page * page <= end; ++j) {
      end = std::max(end, (regions[j].base + regions[j].size + page - 1) / page * page);
      name += " and " + regions[j].name;
    }
    MapMmio(start, end - start, bus, name);
    i = j;
  }
}

uint64_t ImageMachine::AddTrap(std::string name, TrapHandler handler) {
  State& s = *state_;
  if (s.traps.size() >= s.page) Fatal("more trap slots than one page holds");
  s.traps.emplace_back(std::move(name), std::move(handler));
  return s.trap_base + s.traps.size() - 1;
}

void ImageMachine::ShareHostMemory(HostServiceGate& gate) {
  if (!is64_) Fatal("an IA-32 guest cannot share the 64-bit host's memory");
  state_->gate = &gate;
  if (state_->read_hook != 0) return;  // added by an earlier sharing (a restore forgets the gate, not the hook)
  Check(uc_hook_add(uc_, &state_->read_hook, UC_HOOK_MEM_READ, reinterpret_cast<void*>(&OnRead), state_.get(), 1, 0),
        "adding the read hook");
}

// The guest calls a host function (a platform service or protocol member) whose prototype the trap does not know:
// it is called with ten integer arguments under the Microsoft x64 convention, where surplus arguments are harmless.
// The call is deliberately through a type other than the function's own, so clang's function-type check is off here.
#if defined(__clang__)
__attribute__((no_sanitize("function")))
#endif
uint64_t
ImageMachine::CallHostFunction(const void* function, const TrapCall& c) {
  using Fn = uint64_t(__attribute__((ms_abi))*)(uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t,
                                                uint64_t, uint64_t, uint64_t);
  return reinterpret_cast<Fn>(const_cast<void*>(function))(c.Arg(0), c.Arg(1), c.Arg(2), c.Arg(3), c.Arg(4), c.Arg(5),
                                                           c.Arg(6), c.Arg(7), c.Arg(8), c.Arg(9));
}

void ImageMachine::AddStop(uint64_t address, StopHandler handler) {
  State& s = *state_;
  s.stops[address] = std::move(handler);
  if (s.stop_hooks.count(address)) return;
  uc_hook hook;
  Check(uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(&OnStop), &s, address, address),
        "adding the stop hook at " + Hex(address));
  s.stop_hooks[address] = hook;
  uc_ctl_remove_cache(uc_, address, address + 1);  // a block translated before has no call to the hook
}

void ImageMachine::SetExactCounting(bool exact) {
  State& s = *state_;
  if (exact == s.exact) return;
  s.exact = exact;
  if (exact) {
    Check(uc_hook_add(uc_, &s.exact_hook, UC_HOOK_CODE, reinterpret_cast<void*>(&OnInstruction), &s, 1, 0),
          "adding the instruction hook");
  } else {
    uc_hook_del(uc_, s.exact_hook);
  }
  uc_ctl_flush_tlb(uc_);  // blocks are translated with the hooks of the moment: translate them again
}

void ImageMachine::SetBlockCounters(uint8_t* counters, size_t size) {
  state_->counters = size != 0 ? counters : nullptr;
  state_->counters_size = size;
  state_->counters_mask = size > 1 && (size & (size - 1)) == 0 ? size - 1 : 0;
}

void ImageMachine::SetDefaultBlockCounters(uint8_t* counters, size_t size) {
  g_default_counters = size != 0 ? counters : nullptr;
  g_default_counters_size = size;
}

void ImageMachine::SetName(const std::string& name_or_path) {
  std::string stem = name_or_path.substr(name_or_path.find_last_of('/') + 1);
  if (const size_t dot = stem.find_last_of('.'); dot != std::string::npos && dot != 0) stem.resize(dot);
  if (!stem.empty()) state_->name = stem;
}

void ImageMachine::TakeSnapshot() {
  State& s = *state_;
  if (s.snapshot == nullptr) {
    s.snapshot = std::make_unique<State::Snapshot>();
    Check(uc_context_alloc(uc_, &s.snapshot->cpu), "allocating the CPU context");
  }
  State::Snapshot& snap = *s.snapshot;
  Check(uc_context_save(uc_, snap.cpu), "saving the CPU context");
  snap.bytes.clear();
  for (const State::Area& a : s.writable) snap.bytes.emplace_back(a.host, a.host + a.size);
  snap.traps = s.traps.size();
  snap.stops = s.stops;
  snap.reach = reach_;
  snap.ranges = s.ranges;
  snap.arena_used = arena_.used();
  snap.gate = s.gate;
  s.added.clear();  // what is mapped now is part of the snapshot
}

void ImageMachine::Restore() {
  State& s = *state_;
  if (s.snapshot == nullptr) Fatal("a restore without a snapshot");
  if (s.running) Fatal("a restore while the guest runs");
  const State::Snapshot& snap = *s.snapshot;
  Check(uc_context_restore(uc_, snap.cpu), "restoring the CPU context");
  s.restored_pages = 0;
  for (size_t i = 0; i < s.writable.size(); ++i) {
    uint8_t* host = s.writable[i].host;
    const uint8_t* kept = snap.bytes[i].data();
    for (size_t at = 0; at < s.writable[i].size; at += s.page) {
      const size_t n = std::min(s.page, s.writable[i].size - at);
      if (std::memcmp(host + at, kept + at, n) != 0) {
        std::memcpy(host + at, kept + at, n);
        ++s.restored_pages;
      }
    }
  }
  s.traps.resize(snap.traps);
  s.stops = snap.stops;
  reach_ = snap.reach;
  s.ranges = snap.ranges;
  arena_.Rewind(snap.arena_used);
  s.gate = snap.gate;
  for (State::Added& a : s.added) a.stale = true;
  if (s.checked.size() > kKeptCheckedRuns) {
    for (const auto& c : s.checked) s.Unmap(c->base, c->end);
    s.checked.clear();
  }
}

size_t ImageMachine::RestoredPages() const { return state_->restored_pages; }

void ImageMachine::SetIdtBase(uint64_t base) {
  uc_x86_mmr idtr{};
  idtr.base = base;
  idtr.limit = is64_ ? 0xFFF : 0x7FF;
  Check(uc_reg_write(uc_, UC_X86_REG_IDTR, &idtr), "setting the IDT base");
}

bool ImageMachine::ReadGuest(uint64_t address, void* out, size_t size) {
  // The stack is host memory at the guest's addresses, always mapped: read it directly (trap arguments).
  const State& s = *state_;
  const uint64_t stack = reinterpret_cast<uintptr_t>(s.stack);
  if (address >= stack && size <= s.stack_size && address - stack <= s.stack_size - size) {
    std::memcpy(out, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), size);
    return true;
  }
  return uc_mem_read(uc_, address, out, size) == UC_ERR_OK;
}

bool ImageMachine::WriteGuest(uint64_t address, const void* data, size_t size) {
  // The stack, always mapped and writable, is written directly (a service's results out through locals).
  const State& s = *state_;
  const uint64_t stack = reinterpret_cast<uintptr_t>(s.stack);
  if (size != 0 && address >= stack && size <= s.stack_size && address - stack <= s.stack_size - size) {
    std::memcpy(reinterpret_cast<void*>(static_cast<uintptr_t>(address)), data, size);
    return true;
  }
  uc_mem_region* regions = nullptr;
  uint32_t count = 0;
  if (uc_mem_regions(uc_, &regions, &count) != UC_ERR_OK) return false;
  // Regions of adjacent mappings may split the range: walk it region by region.
  uint64_t at = address;
  const uint64_t end = address + size;
  bool writable = size != 0;
  while (writable && at < end) {
    writable = false;
    for (uint32_t i = 0; i < count; ++i) {
      if (at >= regions[i].begin && at <= regions[i].end && (regions[i].perms & UC_PROT_WRITE) != 0) {
        at = regions[i].end + 1;
        writable = true;
        break;
      }
    }
  }
  uc_free(regions);
  return writable && uc_mem_write(uc_, address, data, size) == UC_ERR_OK;
}

GuestCallResult ImageMachine::Call(uint64_t address, const std::vector<uint64_t>& arguments) {
  State& s = *state_;
  if (uc_ == nullptr) {
    GuestCallResult unplaced;
    unplaced.fault = s.placement_error;
    return unplaced;
  }
  if (s.running) Fatal("a call into the guest was made while one is running (a trap handler called the guest)");
  const uint64_t top = reinterpret_cast<uintptr_t>(s.stack) + s.stack_size;
  uint64_t sp;
  if (is64_) {
    const size_t on_stack = arguments.size() > 4 ? arguments.size() - 4 : 0;
    sp = (top - 64 - 8 * on_stack) & ~0xFull;  // 16-aligned where the arguments start
    sp -= 8 + 32;                              // return address and the four registers' home area
    std::memcpy(reinterpret_cast<void*>(sp), &s.trap_base, 8);
    for (size_t i = 4; i < arguments.size(); ++i)
      std::memcpy(reinterpret_cast<void*>(sp + 40 + 8 * (i - 4)), &arguments[i], 8);
    static const int kRegs[4] = {UC_X86_REG_RCX, UC_X86_REG_RDX, UC_X86_REG_R8, UC_X86_REG_R9};
    for (size_t i = 0; i < arguments.size() && i < 4; ++i) uc_reg_write(uc_, kRegs[i], &arguments[i]);
    uc_reg_write(uc_, UC_X86_REG_RSP, &sp);
  } else {
    sp = (top - 64 - 4 * arguments.size()) & ~0xFull;
    for (size_t i = 0; i < arguments.size(); ++i) {
      const uint32_t word = static_cast<uint32_t>(arguments[i]);
      std::memcpy(reinterpret_cast<void*>(sp + 4 * i), &word, 4);
    }
    sp -= 4;
    const uint32_t ret = static_cast<uint32_t>(s.trap_base);
    std::memcpy(reinterpret_cast<void*>(sp), &ret, 4);
    uc_reg_write(uc_, UC_X86_REG_ESP, &sp);
  }
  const uint64_t given = sp;  // the stack pointer the callee starts with
  s.DropStale();
  s.running = true;
  s.budget = budget_;
  s.instructions = 0;
  s.blocks = 0;
  s.lowest_sp = given;
  s.fault.clear();
  s.stopped = false;
  const uc_err err = uc_emu_start(uc_, address, s.trap_base, 0, 0);
  s.running = false;

  GuestCallResult r;
  r.instructions = s.instructions;
  r.stack_used = s.exact ? given - std::min(given, s.lowest_sp) : 0;
  r.blocks = s.blocks;
  r.stopped = s.stopped;
  r.fault = s.fault;
  if (r.fault.empty() && err != UC_ERR_OK)
    r.fault = std::string("the emulator stopped: ") + uc_strerror(err) + " at " + Hex(s.Pc());
  r.completed = r.fault.empty() && s.Pc() == s.trap_base;
  if (r.fault.empty() && !r.completed) r.fault = "the call ended at " + Hex(s.Pc()) + " without returning";
  r.value = s.Reg(is64_ ? UC_X86_REG_RAX : UC_X86_REG_EAX);
  return r;
}

}  // namespace sim
