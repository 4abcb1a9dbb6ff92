// What an emulated image may reach: the memory regions the platform lent it (its own image and stack, tables,
// interfaces, buffers and records), each readable or read-write, and the checks that every guest access to host
// memory and every pointer a service is handed must pass before the host touches the bytes.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// One lent region: guest addresses [start, end), its bytes at `host` in this process.
struct ReachRegion {
  uint64_t start = 0, end = 0;
  bool writable = false;
  std::string name;
  const uint8_t* host = nullptr;
};

class GuestReach {
 public:
  // Answers whether an address lies in something lent by its owner's own bookkeeping (live pool buffers, the
  // SMBIOS table's records): the region from the address on, or nothing. Sources follow the owner as it frees.
  using Source = std::function<std::optional<ReachRegion>(uint64_t address)>;
  // The same with `named` false where only the region's bounds, writability and bytes are used (each guest access
  // to it), so that the source need not build its name.
  using QuickSource = std::function<std::optional<ReachRegion>(uint64_t address, bool named)>;

  GuestReach() = default;
  GuestReach(const GuestReach& other) : regions_(other.regions_), longest_(other.longest_), sources_(other.sources_) {}
  GuestReach& operator=(const GuestReach& other) {
    regions_ = other.regions_;
    longest_ = other.longest_;
    sources_ = other.sources_;
    Forget();
    return *this;
  }

  // Lends [start, start + size) at the same host address, or at `host` when the guest sees it elsewhere (flash).
  // A lend with the start of an earlier one replaces it.
  void Lend(uint64_t start, uint64_t size, bool writable, std::string name, const void* host = nullptr);
  // Takes back the region lent at `start` (no effect when there is none).
  void Revoke(uint64_t start);
  void AddSource(Source source);
  void AddSource(QuickSource source);

  // The lent region holding `address`, if any.
  std::optional<ReachRegion> Find(uint64_t address) const;
  // Empty when every byte of [address, address + size) is lent (and writable, for a write); otherwise what is
  // wrong, naming the first address that is not and what lies there.
  std::string Check(uint64_t address, uint64_t size, bool write) const;
  // Copies lent bytes to or from the host; false (nothing copied) when Check refuses the range.
  bool Read(uint64_t address, void* out, uint64_t size) const;
  bool Write(uint64_t address, const void* data, uint64_t size) const;

 private:
  // The lent region (not a source's) that Find would give for `address`, if any.
  const ReachRegion* Covering(uint64_t address) const;
  // The same when it holds the whole range.
  const ReachRegion* Holding(uint64_t address, uint64_t size) const;
  // The region a source lends at `address`, if any (its name left empty unless `named`).
  std::optional<ReachRegion> FromSources(uint64_t address, bool named) const;

  std::map<uint64_t, ReachRegion> regions_;  // by start
  uint64_t longest_ = 0;                     // the longest region's size, to bound the search back
  std::vector<QuickSource> sources_;
  // The region Holding found last, which an address in [its start, last_limit_) resolves to without a search:
  // no other region starts there. Cleared whenever the regions change.
  mutable const ReachRegion* last_ = nullptr;
  mutable uint64_t last_limit_ = 0;
  // Addresses [gap_start_, gap_end_) that no lent region covers (those of pool buffers and records, which the
  // sources answer for), found by earlier searches.
  mutable uint64_t gap_start_ = 0, gap_end_ = 0;
  void Forget() const {
    last_ = nullptr;
    gap_start_ = gap_end_ = 0;
  }
};

}  // namespace sim
