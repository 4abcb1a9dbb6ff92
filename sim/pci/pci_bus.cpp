// Topology checks and enumeration order of the simulated PCI functions.
#include "sim/pci/pci_bus.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "sim/common/hex_text.h"
#include "sim/pci/memory_bar.h"

namespace sim {

std::string ToString(const PciLocation& l) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04X:%02X:%02X.%u", l.segment, l.bus, l.device, l.function);
  return buf;
}

namespace {}  // namespace

void PciBus::Validate(const std::vector<PciFunctionSpec>& specs) const {
  std::map<PciLocation, size_t> seen;
  for (size_t i = 0; i < specs.size(); ++i) {
    const PciFunctionSpec& s = specs[i];
    if (s.location.device > 31) throw PciTopologyError(i, "location", "device number above 31");
    if (s.location.function > 7) throw PciTopologyError(i, "location", "function number above 7");
    auto [it, fresh] = seen.emplace(s.location, i);
    if (!fresh)
      throw PciTopologyError(i, "location",
                             "a second function at " + ToString(s.location) + " (the first is function " +
                                 std::to_string(it->second + 1) + ")");
    if (s.IsBridge()) {
      if (s.secondary_bus <= s.location.bus)
        throw PciTopologyError(i, "secondary_bus",
                               "bridge at " + ToString(s.location) + " has secondary bus " + Hex(s.secondary_bus, 2) +
                                   ", not above its own bus");
      if (s.secondary_bus > s.subordinate_bus)
        throw PciTopologyError(i, "subordinate_bus",
                               "bridge at " + ToString(s.location) + " has secondary bus " + Hex(s.secondary_bus, 2) +
                                   " above subordinate bus " + Hex(s.subordinate_bus, 2));
    }
  }
  for (size_t i = 0; i < specs.size(); ++i) {
    const PciLocation& l = specs[i].location;
    if (l.function != 0 && !seen.contains(PciLocation{l.segment, l.bus, l.device, 0}))
      throw PciTopologyError(
          i, "location", "function " + ToString(l) + " has no function 0 at its device; enumeration would not find it");
  }
  // Bridge ranges on one segment either nest or are disjoint, and a nested range lies below a bridge whose
  // own bus is inside the outer range.
  for (size_t i = 0; i < specs.size(); ++i) {
    const PciFunctionSpec& a = specs[i];
    if (!a.IsBridge()) continue;
    for (size_t j = 0; j < i; ++j) {
      const PciFunctionSpec& b = specs[j];
      if (!b.IsBridge() || b.location.segment != a.location.segment) continue;
      bool disjoint = a.subordinate_bus < b.secondary_bus || b.subordinate_bus < a.secondary_bus;
      bool a_in_b = a.location.bus >= b.secondary_bus && a.location.bus <= b.subordinate_bus &&
                    a.secondary_bus >= b.secondary_bus && a.subordinate_bus <= b.subordinate_bus;
      bool b_in_a = b.location.bus >= a.secondary_bus && b.location.bus <= a.subordinate_bus &&
                    b.secondary_bus >= a.secondary_bus && b.subordinate_bus <= a.subordinate_bus;
      if (!disjoint && !a_in_b && !b_in_a)
        throw PciTopologyError(i, "secondary_bus",
                               "bus range " + Hex(a.secondary_bus, 2) + ".." + Hex(a.subordinate_bus, 2) +
                                   " of bridge " + ToString(a.location) + " overlaps range " + Hex(b.secondary_bus, 2) +
                                   ".." + Hex(b.subordinate_bus, 2) + " of bridge " + ToString(b.location));
    }
  }
  CheckMemoryBars(specs);
}

PciBus::PciBus(std::vector<PciFunctionSpec> specs, const VirtualClock& clock) {
  Validate(specs);
  std::set<std::tuple<uint16_t, uint8_t, uint8_t>> multi;
  for (const auto& s : specs) {
    if (s.location.function != 0) multi.insert({s.location.segment, s.location.bus, s.location.device});
  }
  for (size_t i = 0; i < specs.size(); ++i) {
    PciFunctionSpec& s = specs[i];
    if (s.location.function == 0 && multi.contains({s.location.segment, s.location.bus, s.location.device}))
      s.multi_function = true;
    try {
      functions_.push_back(std::make_unique<PciFunction>(std::move(s), clock));
    } catch (const ConfigSpaceError& e) {
      throw PciTopologyError(i, e.Field(), e.what());
    }
    by_location_[functions_.back()->Location()] = functions_.back().get();
  }
  Enumerate();
  // The functions that have gone did so after enumeration found them.
  for (const auto& f : functions_) {
    if (f->Spec().reads_all_ones) f->StartReadingAllOnes();
  }
}

PciFunction* PciBus::Find(const PciLocation& location) {
  auto it = by_location_.find(location);
  return it == by_location_.end() ? nullptr : it->second;
}

const PciFunction* PciBus::Find(const PciLocation& location) const {
  auto it = by_location_.find(location);
  return it == by_location_.end() ? nullptr : it->second;
}

namespace {

// Enumeration reads the configuration bytes, as a bus driver does (pokes included).
bool ReadsAsBridge(const PciFunction& f) {
  uint32_t type = f.Read(0x0E, 1) & 0x7F;
  return type == 1 || type == 2;
}

}  // namespace

void PciBus::EnumerateBus(uint16_t segment, uint8_t bus, std::vector<bool>& visited_bus) {
  if (visited_bus[bus]) return;
  visited_bus[bus] = true;
  for (uint8_t device = 0; device < 32; ++device) {
    PciFunction* f0 = Find({segment, bus, device, 0});
    if (f0 == nullptr) continue;
    uint8_t functions = (f0->Read(0x0E, 1) & 0x80) != 0 ? 8 : 1;
    for (uint8_t function = 0; function < functions; ++function) {
      PciFunction* f = Find({segment, bus, device, function});
      if (f == nullptr) continue;
      order_.push_back(f);
      if (ReadsAsBridge(*f)) EnumerateBus(segment, static_cast<uint8_t>(f->Read(0x19, 1)), visited_bus);
    }
  }
}

void PciBus::Enumerate() {
  std::set<uint16_t> segments;
  for (const auto& f : functions_) segments.insert(f->Location().segment);
  for (uint16_t segment : segments) {
    std::vector<bool> behind_bridge(256, false);
    std::set<uint8_t> buses;
    for (const auto& f : functions_) {
      if (f->Location().segment != segment) continue;
      buses.insert(f->Location().bus);
      if (ReadsAsBridge(*f)) {
        for (unsigned b = f->Read(0x19, 1); b <= f->Read(0x1A, 1); ++b) behind_bridge[b] = true;
      }
    }
    std::vector<bool> visited(256, false);
    for (uint8_t bus : buses) {
      if (!behind_bridge[bus]) EnumerateBus(segment, bus, visited);
    }
  }
  std::set<const PciFunction*> reached(order_.begin(), order_.end());
  for (size_t i = 0; i < functions_.size(); ++i) {
    if (!reached.contains(functions_[i].get()))
      throw PciTopologyError(i, "location",
                             ToString(functions_[i]->Location()) +
                                 " lies inside a bridge's bus range but no bridge's secondary bus "
                                 "leads to its bus; enumeration would not find it");
  }
}

}  // namespace sim
