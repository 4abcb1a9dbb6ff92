// The lent regions of an emulated image and the range checks over them.
#include "sim/image/guest_reach.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "sim/common/hex_text.h"

namespace sim {

void GuestReach::Lend(uint64_t start, uint64_t size, bool writable, std::string name, const void* host) {
  if (size == 0) return;
  const uint64_t end = start + size < start ? UINT64_MAX : start + size;
  const auto* bytes = static_cast<const uint8_t*>(host != nullptr ? host : reinterpret_cast<const void*>(start));
  regions_[start] = ReachRegion{start, end, writable, std::move(name), bytes};
  Forget();
  longest_ = std::max(longest_, end - start);
}

void GuestReach::Revoke(uint64_t start) {
  regions_.erase(start);
  Forget();
}

void GuestReach::AddSource(Source source) {
  sources_.push_back([source = std::move(source)](uint64_t address, bool) { return source(address); });
}

void GuestReach::AddSource(QuickSource source) { sources_.push_back(std::move(source)); }

std::optional<ReachRegion> GuestReach::Find(uint64_t address) const {
  if (const ReachRegion* r = Covering(address)) return *r;
  return FromSources(address, true);
}

std::optional<ReachRegion> GuestReach::FromSources(uint64_t address, bool named) const {
  for (const QuickSource& source : sources_) {
    if (std::optional<ReachRegion> r = source(address, named)) return r;
  }
  return std::nullopt;
}

const ReachRegion* GuestReach::Covering(uint64_t address) const {
  // A guest's accesses come in runs on one region (a table, a buffer): the last one found answers first.
  if (last_ != nullptr && address >= last_->start && address < last_limit_) return last_;
  if (address >= gap_start_ && address < gap_end_) return nullptr;
  // Regions may nest (a table inside a larger lend): the nearest start at or below the address that covers it.
  const auto after = regions_.upper_bound(address);
  for (auto it = after; it != regions_.begin();) {
    --it;
    if (address < it->second.end) {
      const auto next = std::next(it);
      last_ = &it->second;
      last_limit_ = next == regions_.end() ? it->second.end : std::min(it->second.end, next->first);
      return last_;
    }
    if (address - it->first >= longest_) break;
  }
  // No region starting at or below the address reaches it, so none reaches past it either until the next start:
  // [address, next start) is a gap (holding the gap known before when that ends at the same start).
  gap_start_ = address;
  gap_end_ = after == regions_.end() ? UINT64_MAX : after->first;
  return nullptr;
}

const ReachRegion* GuestReach::Holding(uint64_t address, uint64_t size) const {
  const ReachRegion* r = Covering(address);
  return r != nullptr && size <= r->end - address ? r : nullptr;
}

std::string GuestReach::Check(uint64_t address, uint64_t size, bool write) const {
  if (size == 0) return "";
  if (address + size < address) return "the range " + Hex(address) + " + " + Hex(size) + " wraps around";
  // Most ranges lie inside one lent region: no region copied, no name built.
  if (const ReachRegion* r = Holding(address, size); r != nullptr && (!write || r->writable)) return "";
  const uint64_t end = address + size;
  for (uint64_t at = address; at < end;) {
    // What Find gives, without building a source's name unless the message needs it.
    const ReachRegion* r = Covering(at);
    std::optional<ReachRegion> sourced;
    if (r == nullptr && (sourced = FromSources(at, false))) r = &*sourced;
    if (r == nullptr) {
      return (at == address ? Hex(at) : "byte " + Hex(at) + " of the range") +
             " lies in nothing the platform lent the image";
    }
    if (write && !r->writable) return Hex(at) + " lies in " + Find(at)->name + ", which the image may only read";
    at = r->end;
  }
  return "";
}

bool GuestReach::Read(uint64_t address, void* out, uint64_t size) const {
  // Most accesses lie inside one lent region: no names built, no second search.
  const ReachRegion* covering = Covering(address);
  if (covering != nullptr && size <= covering->end - address) {
    std::memcpy(out, covering->host + (address - covering->start), size);
    return true;
  }
  // Then, where no lent region covers the address, inside one region a source lends (a pool buffer).
  if (covering == nullptr) {
    if (const std::optional<ReachRegion> r = FromSources(address, false); r && size <= r->end - address) {
      std::memcpy(out, r->host + (address - r->start), size);
      return true;
    }
  }
  if (!Check(address, size, false).empty()) return false;
  auto* to = static_cast<uint8_t*>(out);
  for (uint64_t at = address; at < address + size;) {
    const ReachRegion r = *Find(at);
    const uint64_t n = std::min(r.end, address + size) - at;
    std::memcpy(to + (at - address), r.host + (at - r.start), n);
    at += n;
  }
  return true;
}

bool GuestReach::Write(uint64_t address, const void* data, uint64_t size) const {
  const ReachRegion* covering = Covering(address);
  if (covering != nullptr && covering->writable && size <= covering->end - address) {
    std::memcpy(const_cast<uint8_t*>(covering->host) + (address - covering->start), data, size);
    return true;
  }
  if (covering == nullptr) {
    if (const std::optional<ReachRegion> r = FromSources(address, false);
        r && r->writable && size <= r->end - address) {
      std::memcpy(const_cast<uint8_t*>(r->host) + (address - r->start), data, size);
      return true;
    }
  }
  if (!Check(address, size, true).empty()) return false;
  const auto* from = static_cast<const uint8_t*>(data);
  for (uint64_t at = address; at < address + size;) {
    const ReachRegion r = *Find(at);
    const uint64_t n = std::min(r.end, address + size) - at;
    std::memcpy(const_cast<uint8_t*>(r.host) + (at - r.start), from + (at - address), n);
    at += n;
  }
  return true;
}

}  // namespace sim
