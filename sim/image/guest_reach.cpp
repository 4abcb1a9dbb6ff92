// The lent regions of an emulated image and the range checks over them.
#include "sim/image/guest_reach.h"

#include <algorithm>
#include <cstring>

#include "sim/common/hex_text.h"

namespace sim {

void GuestReach::Lend(uint64_t start, uint64_t size, bool writable, std::string name, const void* host) {
  if (size == 0) return;
  const uint64_t end = start + size < start ? UINT64_MAX : start + size;
  const auto* bytes = static_cast<const uint8_t*>(host != nullptr ? host : reinterpret_cast<const void*>(start));
  regions_[start] = ReachRegion{start, end, writable, std::move(name), bytes};
  longest_ = std::max(longest_, end - start);
}

void GuestReach::Revoke(uint64_t start) { regions_.erase(start); }

void GuestReach::AddSource(Source source) { sources_.push_back(std::move(source)); }

std::optional<ReachRegion> GuestReach::Find(uint64_t address) const {
  // Regions may nest (a table inside a larger lend): the nearest start at or below the address that covers it.
  for (auto it = regions_.upper_bound(address); it != regions_.begin();) {
    --it;
    if (address < it->second.end) return it->second;
    if (address - it->first >= longest_) break;
  }
  for (const Source& source : sources_) {
    if (std::optional<ReachRegion> r = source(address)) return r;
  }
  return std::nullopt;
}

const ReachRegion* GuestReach::Holding(uint64_t address, uint64_t size) const {
  for (auto it = regions_.upper_bound(address); it != regions_.begin();) {
    --it;
    if (address < it->second.end) return size <= it->second.end - address ? &it->second : nullptr;
    if (address - it->first >= longest_) break;
  }
  return nullptr;
}

std::string GuestReach::Check(uint64_t address, uint64_t size, bool write) const {
  if (size == 0) return "";
  if (address + size < address) return "the range " + Hex(address) + " + " + Hex(size) + " wraps around";
  const uint64_t end = address + size;
  for (uint64_t at = address; at < end;) {
    const std::optional<ReachRegion> r = Find(at);
    if (!r) {
      return (at == address ? Hex(at) : "byte " + Hex(at) + " of the range") +
             " lies in nothing the platform lent the image";
    }
    if (write && !r->writable) return Hex(at) + " lies in " + r->name + ", which the image may only read";
    at = r->end;
  }
  return "";
}

bool GuestReach::Read(uint64_t address, void* out, uint64_t size) const {
  // Most accesses lie inside one lent region: no names built, no second search.
  if (const ReachRegion* r = Holding(address, size)) {
    std::memcpy(out, r->host + (address - r->start), size);
    return true;
  }
  // Then inside one region a source lends (a pool buffer): one search, no checking pass.
  if (const std::optional<ReachRegion> r = Find(address); r && size <= r->end - address) {
    std::memcpy(out, r->host + (address - r->start), size);
    return true;
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
  if (const ReachRegion* r = Holding(address, size); r != nullptr && r->writable) {
    std::memcpy(const_cast<uint8_t*>(r->host) + (address - r->start), data, size);
    return true;
  }
  if (const std::optional<ReachRegion> r = Find(address); r && r->writable && size <= r->end - address) {
    std::memcpy(const_cast<uint8_t*>(r->host) + (address - r->start), data, size);
    return true;
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
