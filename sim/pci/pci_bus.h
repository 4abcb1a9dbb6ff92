// The simulated PCI topology: functions by location, consistency checks, and the enumeration order in which
// the platform's PCI bus driver would find them (depth first from each root bus, through bridges).
#pragma once
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/common/virtual_clock.h"
#include "sim/pci/pci_function.h"

namespace sim {

// An inconsistent topology. `index` is the position of the offending function in the order they were added,
// `field` the path inside it ("location", "secondary_bus", "capabilities[0].offset").
class PciTopologyError : public std::invalid_argument {
 public:
  PciTopologyError(size_t index, std::string field, const std::string& problem)
      : std::invalid_argument(problem), index_(index), field_(std::move(field)) {}
  size_t Index() const { return index_; }
  const std::string& Field() const { return field_; }

 private:
  size_t index_;
  std::string field_;
};

class PciBus {
 public:
  // Builds the functions. Derives the multi-function bit of function 0 of every device that has others.
  // Throws PciTopologyError for: two functions at one location, a device or function number out of range,
  // a function other than 0 without function 0, a bridge whose secondary bus is not above its own bus or lies
  // above its subordinate bus, bridge ranges that overlap without nesting, and ConfigSpaceError problems.
  PciBus(std::vector<PciFunctionSpec> specs, const VirtualClock& clock);

  // The function at the location, or nullptr (an absent function reads all ones).
  PciFunction* Find(const PciLocation& location);
  const PciFunction* Find(const PciLocation& location) const;

  // Every function, in enumeration order: root buses ascending (buses no bridge leads to), and on each bus
  // devices and functions ascending, entering a bridge's secondary bus right after the bridge. Functions that
  // no path reaches (inside a bridge range but below no bridge) are not enumerated.
  const std::vector<PciFunction*>& EnumerationOrder() const { return order_; }
  const std::vector<std::unique_ptr<PciFunction>>& Functions() const { return functions_; }

 private:
  void Validate(const std::vector<PciFunctionSpec>& specs) const;
  void Enumerate();
  void EnumerateBus(uint16_t segment, uint8_t bus, std::vector<bool>& visited_bus);

  std::vector<std::unique_ptr<PciFunction>> functions_;
  std::map<PciLocation, PciFunction*> by_location_;
  std::vector<PciFunction*> order_;
};

}  // namespace sim
