// Placement and subtree renumbering of captured functions.
#include "sim/board/captures/capture_placement.h"

#include <map>

#include "sim/board/captures/capture_error.h"
#include "sim/common/hex_text.h"

namespace sim {

namespace {

constexpr size_t kPrimaryBus = 0x18, kSecondaryBus = 0x19, kSubordinateBus = 0x1A;

bool IsBridge(const DumpedFunction& f) {
  const uint8_t type = f.config[0x0E] & 0x7F;
  return type == 1 || type == 2;
}

}  // namespace

std::vector<PlacedFunction> PlaceCapturedFunctions(const std::vector<DumpedFunction>& captured,
                                                   const std::vector<CapturePlacement>& placements) {
  std::map<PciLocation, size_t> index;
  for (size_t i = 0; i < captured.size(); ++i) index.emplace(captured[i].location, i);
  std::map<PciLocation, size_t> taken;  // capture location -> placement
  std::vector<PlacedFunction> out;
  auto take = [&](size_t p, const PciLocation& from) {
    auto [it, fresh] = taken.emplace(from, p);
    if (!fresh) {
      throw CaptureError(p,
                         "function " + ToString(from) + " of the capture is taken twice (also by place[" +
                             std::to_string(it->second) + "])",
                         "place each captured function once; a placed bridge brings its subtree along");
    }
  };
  for (size_t p = 0; p < placements.size(); ++p) {
    const CapturePlacement& place = placements[p];
    auto found = index.find(place.from);
    if (found == index.end())
      throw CaptureError(p, "no function " + ToString(place.from) + " in the capture",
                         "name a function of the capture in `from`");
    take(p, place.from);
    PlacedFunction placed{captured[found->second], p};
    placed.function.location = place.at;
    if (!IsBridge(placed.function)) {
      if (place.bus)
        throw CaptureError(p, ToString(place.from) + " is not a bridge: `bus` has nothing to renumber",
                           "leave `bus` out for a function that is not a bridge");
      out.push_back(std::move(placed));
      continue;
    }
    if (!place.bus)
      throw CaptureError(p, "missing `bus` for the bridge " + ToString(place.from),
                         "give the secondary bus the placed bridge leads to, e.g. `bus: 0x18`");
    std::vector<uint8_t>& bytes = placed.function.config;
    const unsigned secondary = bytes[kSecondaryBus], subordinate = bytes[kSubordinateBus];
    if (secondary == 0 || subordinate < secondary)
      throw CaptureError(p,
                         "the captured bridge " + ToString(place.from) + " has bus range " + Hex(secondary, 2) + ".." +
                             Hex(subordinate, 2) + ": it leads to no bus",
                         "place the bridge's functions one by one, or capture it with its buses assigned");
    const int offset = static_cast<int>(*place.bus) - static_cast<int>(secondary);
    auto renumber = [&](unsigned bus) {
      const int moved = static_cast<int>(bus) + offset;
      if (moved < 0 || moved > 0xFF)
        throw CaptureError(p,
                           "renumbering the subtree of " + ToString(place.from) + " by " + std::to_string(offset) +
                               " moves bus " + Hex(bus, 2) + " outside 00..FF",
                           "choose a `bus` that leaves room for the subtree's " +
                               std::to_string(subordinate - secondary + 1) + " buses");
      return static_cast<uint8_t>(moved);
    };
    bytes[kPrimaryBus] = place.at.bus;
    bytes[kSecondaryBus] = *place.bus;
    bytes[kSubordinateBus] = renumber(subordinate);
    out.push_back(std::move(placed));
    // The subtree: the capture's functions on the bridge's buses, found in location order.
    const uint16_t segment = place.from.segment;
    for (auto it = index.lower_bound({segment, static_cast<uint8_t>(secondary), 0, 0});
         it != index.end() && it->first.segment == segment && it->first.bus <= subordinate; ++it) {
      take(p, it->first);
      PlacedFunction child{captured[it->second], p};
      child.function.location.segment = place.at.segment;
      child.function.location.bus = renumber(it->first.bus);
      if (IsBridge(child.function)) {
        for (size_t reg : {kPrimaryBus, kSecondaryBus, kSubordinateBus})
          child.function.config[reg] = renumber(child.function.config[reg]);
      }
      out.push_back(std::move(child));
    }
  }
  return out;
}

}  // namespace sim
