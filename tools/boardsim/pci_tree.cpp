// Drawing the PCI tree: each bus's functions one under another with `+-` and `\-`, `|` continuing the lines
// of the functions still to come, a single function joined with `--`.
#include "tools/boardsim/pci_tree.h"

#include <cstdio>
#include <map>
#include <set>
#include <utility>

#include "tools/boardsim/pci_listing.h"

namespace boardsim {

namespace {

using BusKey = std::pair<uint16_t, uint8_t>;  // segment, bus

bool IsBridge(const ListedFunction& f) { return f.header.header_type == 1 || f.header.header_type == 2; }

class TreeDrawer {
 public:
  TreeDrawer(const sim::PciBus& bus, const std::vector<SlotRootPort>& slots, TreeText text) : text_(text) {
    for (ListedFunction& f : ListFunctions(bus)) {
      const BusKey key{f.at.segment, f.at.bus};
      functions_[key].push_back(std::move(f));
    }
    if (text == TreeText::Names) {
      for (const SlotRootPort& slot : slots) labels_.emplace(slot.at, slot.designation);
    }
  }

  std::string Draw() {
    std::set<BusKey> secondary;
    for (const auto& [key, list] : functions_) {
      for (const ListedFunction& f : list) {
        if (IsBridge(f)) secondary.insert({f.at.segment, f.header.secondary_bus});
      }
    }
    std::vector<BusKey> roots;
    for (const auto& [key, list] : functions_) {
      if (!secondary.contains(key)) roots.push_back(key);
    }
    // Every bus that is some bridge's secondary bus but that no root reaches (bridges in a loop) is drawn
    // as a root of its own after the others, so no function goes missing from the picture.
    for (const BusKey& root : roots) drawn_.insert(root);
    std::string out;
    if (functions_.empty()) return "-[0000:00]-\n";  // lspci's picture of a machine without functions
    DrawRoots(roots, out);
    std::vector<BusKey> unreached;
    for (const auto& [key, list] : functions_) {
      if (!drawn_.contains(key)) unreached.push_back(key);
    }
    for (const BusKey& key : unreached) drawn_.insert(key);
    DrawRoots(unreached, out);
    return out;
  }

 private:
  void DrawRoots(const std::vector<BusKey>& roots, std::string& out) {
    for (size_t i = 0; i < roots.size(); ++i) {
      char head[32];
      std::snprintf(head, sizeof head, "[%04x:%02x]", roots[i].first, roots[i].second);
      std::string line;
      std::string indent;
      if (roots.size() == 1) {
        line = "-";
        indent = " ";
      } else {
        line = i == 0 ? "-+-" : (i + 1 == roots.size() ? " \\-" : " +-");
        indent = i + 1 == roots.size() ? "   " : " | ";
      }
      line += head;
      indent += std::string(std::string(head).size(), ' ');
      DrawChildren(roots[i], "-", line, indent, out);
    }
  }

  // Appends the functions of one bus to `line` (which ends where they start, after `joint`), lines after the
  // first starting with `indent`.
  void DrawChildren(const BusKey& key, const std::string& joint, std::string& line, const std::string& indent,
                    std::string& out) {
    auto found = functions_.find(key);
    if (found == functions_.end() || found->second.empty()) {
      out += line + joint + "\n";
      return;
    }
    const std::vector<ListedFunction>& list = found->second;
    const std::string base = indent + std::string(joint.size(), ' ');
    line += joint;
    for (size_t i = 0; i < list.size(); ++i) {
      const bool last = i + 1 == list.size();
      std::string connector = list.size() == 1 ? "--" : (i == 0 || !last ? "+-" : "\\-");
      if (i > 0) line = base;
      line += connector;
      const std::string next_indent = base + (list.size() == 1 || last ? "  " : "| ");
      DrawFunction(key, list[i], line, next_indent, out);
    }
  }

  void DrawFunction(const BusKey& key, const ListedFunction& f, std::string& line, const std::string& indent,
                    std::string& out) {
    char text[48];
    std::snprintf(text, sizeof text, "%02x.%x", f.at.device, f.at.function);
    std::string node = text;
    if (!IsBridge(f)) {
      line += node + "  " + Description(f);
      out += line + "\n";
      return;
    }
    if (auto label = labels_.find(f.at); label != labels_.end()) node += " (" + label->second + ")";
    if (f.header.subordinate_bus > f.header.secondary_bus)
      std::snprintf(text, sizeof text, "-[%02x-%02x]", f.header.secondary_bus, f.header.subordinate_bus);
    else std::snprintf(text, sizeof text, "-[%02x]", f.header.secondary_bus);
    node += text;
    line += node;
    const BusKey child{key.first, f.header.secondary_bus};
    if (drawn_.contains(child)) {
      out += line + "--\n";
      return;
    }
    drawn_.insert(child);
    DrawChildren(child, "--", line, indent + std::string(node.size(), ' '), out);
  }

  std::string Description(const ListedFunction& f) const {
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", f.header.vendor_id, f.header.device_id);
    return text_ == TreeText::Ids ? std::string(ids) : FunctionDescription(f);
  }

  TreeText text_;
  std::map<BusKey, std::vector<ListedFunction>> functions_;
  std::map<sim::PciLocation, std::string> labels_;
  std::set<BusKey> drawn_;
};

}  // namespace

std::string PciTreeText(const sim::PciBus& bus, const std::vector<SlotRootPort>& slots, TreeText text) {
  return TreeDrawer(bus, slots, text).Draw();
}

}  // namespace boardsim
