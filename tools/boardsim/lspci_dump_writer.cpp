// The dump format of the PCI utilities, written from the simulated functions' configuration spaces.
#include "tools/boardsim/lspci_dump_writer.h"

#include <cstdio>

#include "tools/boardsim/pci_listing.h"

namespace boardsim {

std::string LspciDumpText(const sim::PciBus& bus) {
  std::string out;
  char text[64];
  for (const ListedFunction& function : ListFunctions(bus)) {
    out += ListingSlot(function.at) + " " + FunctionDescription(function) + "\n";
    for (size_t row = 0; row < function.space.size(); row += 16) {
      std::snprintf(text, sizeof text, row < 0x100 ? "%02zx:" : "%03zx:", row);
      out += text;
      for (size_t i = row; i < row + 16; ++i) {
        std::snprintf(text, sizeof text, " %02x", function.space[i]);
        out += text;
      }
      out += "\n";
    }
    out += "\n";
  }
  return out;
}

}  // namespace boardsim
