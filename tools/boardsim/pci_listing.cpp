// Listing the simulated PCI functions from the bytes they read.
#include "tools/boardsim/pci_listing.h"

#include <algorithm>
#include <cstdio>

#include "tools/boardsim/pci_class_names.h"

namespace boardsim {

std::vector<ListedFunction> ListFunctions(const sim::PciBus& bus) {
  std::vector<ListedFunction> out;
  for (const auto& function : bus.Functions()) {
    ListedFunction listed;
    listed.at = function->Location();
    listed.space = function->Snapshot();
    listed.header = sim::DecodeConfigHeader(listed.space);
    listed.name = function->Spec().name;
    out.push_back(std::move(listed));
  }
  std::sort(out.begin(), out.end(), [](const ListedFunction& a, const ListedFunction& b) { return a.at < b.at; });
  return out;
}

std::string ListingSlot(const sim::PciLocation& at) {
  char text[32];
  if (at.segment == 0) std::snprintf(text, sizeof text, "%02x:%02x.%x", at.bus, at.device, at.function);
  else std::snprintf(text, sizeof text, "%04x:%02x:%02x.%x", at.segment, at.bus, at.device, at.function);
  return text;
}

std::string FunctionDescription(const ListedFunction& function) {
  char ids[24];
  std::snprintf(ids, sizeof ids, " [%04x:%04x]", function.header.vendor_id, function.header.device_id);
  return PciClassName(function.header.class_code) + ": " + (function.name.empty() ? "Device" : function.name) + ids;
}

}  // namespace boardsim
