// The dump `boardsim pci --lspci-dump` writes, read back by the PCI utilities' `lspci -F`: its tree is the one
// boardsim draws, and its decode of the default board shows the link states, capabilities, bridge bus numbers
// and VPD capabilities the board file gives.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "sim/board/board_file.h"
#include "sim/common/virtual_clock.h"
#include "tests/tools/boardsim/scratch_dir.h"
#include "tools/boardsim/lspci_dump_writer.h"
#include "tools/boardsim/pci_listing.h"
#include "tools/boardsim/pci_tree.h"

namespace {

using boardsim_test::ReadText;
using boardsim_test::ScratchDir;

bool HaveLspci() {
  const std::string lspci = LSPCI_PROGRAM;
  return !lspci.empty() && lspci.find("NOTFOUND") == std::string::npos && std::filesystem::exists(lspci);
}

// lspci's standard output on the dump of the board, with its arguments; its standard error must stay free of
// anything but the note that it found no kernel module database.
std::string LspciOnDump(const sim::Board& board, const std::string& arguments) {
  ScratchDir dir("lspci_readback");
  sim::VirtualClock clock;
  sim::PciBus bus(board.pci, clock);
  const std::filesystem::path dump = dir.Write("board.dump", {});
  { std::ofstream(dump) << boardsim::LspciDumpText(bus); }
  const std::string command = "'" + std::string(LSPCI_PROGRAM) + "' -F '" + dump.string() + "' " + arguments + " >'" +
                              (dir.Path() / "out").string() + "' 2>'" + (dir.Path() / "err").string() + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  std::istringstream errors(ReadText(dir.Path() / "err"));
  for (std::string line; std::getline(errors, line);) {
    EXPECT_NE(line.find("libkmod"), std::string::npos) << "lspci complained: " << line;
  }
  return ReadText(dir.Path() / "out");
}

// The -vvv text of each function, by the slot lspci names it with.
std::map<std::string, std::string> Blocks(const std::string& text) {
  std::map<std::string, std::string> blocks;
  std::istringstream in(text);
  std::string current;
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    if (line[0] != '\t' && line[0] != ' ') current = line.substr(0, line.find(' '));
    blocks[current] += line + "\n";
  }
  return blocks;
}

class LspciTreeReadback : public ::testing::TestWithParam<std::string> {};

TEST_P(LspciTreeReadback, LspciDrawsTheTreeBoardsimDraws) {
  if (!HaveLspci()) GTEST_SKIP() << "lspci (pciutils) is not installed";
  const sim::Board board = sim::LoadBoardFile(std::string(SHIPPED_BOARDS_DIR) + "/" + GetParam());
  sim::VirtualClock clock;
  sim::PciBus bus(board.pci, clock);
  EXPECT_EQ(LspciOnDump(board, "-tvn"), boardsim::PciTreeText(bus, {}, boardsim::TreeText::Ids));
}

INSTANTIATE_TEST_SUITE_P(ShippedBoards, LspciTreeReadback,
                         ::testing::Values("default.yaml", "foreign_records.yaml", "onboard_devices_moved.yaml"));

TEST(LspciDecodeReadback, DefaultBoardDecodesWithTheBoardFilesLinksCapabilitiesAndBuses) {
  if (!HaveLspci()) GTEST_SKIP() << "lspci (pciutils) is not installed";
  const sim::Board board = sim::DefaultBoard();
  const std::map<std::string, std::string> blocks = Blocks(LspciOnDump(board, "-vvv"));
  EXPECT_EQ(blocks.size(), board.pci.size());
  size_t root_ports = 0, vpd_capabilities = 0;
  for (const sim::PciFunctionSpec& spec : board.pci) {
    const std::string slot = boardsim::ListingSlot(spec.location);
    ASSERT_TRUE(blocks.contains(slot)) << slot;
    const std::string& block = blocks.at(slot);
    char text[96];
    if (spec.IsBridge()) {
      std::snprintf(text, sizeof text, "Bus: primary=%02x, secondary=%02x, subordinate=%02x", spec.location.bus,
                    spec.secondary_bus, spec.subordinate_bus);
      EXPECT_NE(block.find(text), std::string::npos) << slot << ":\n" << block;
    }
    // Every capability of the file, in its order, and no other.
    size_t at = 0, listed = 0;
    for (size_t pos = 0; (pos = block.find("Capabilities: [", pos)) != std::string::npos; ++pos) ++listed;
    EXPECT_EQ(listed, spec.capabilities.size()) << slot << ":\n" << block;
    for (const sim::PciCapabilitySpec& cap : spec.capabilities) {
      at = block.find("Capabilities: [", at);
      ASSERT_NE(at, std::string::npos) << slot << ":\n" << block;
      const std::string line = block.substr(at, block.find('\n', at) - at);
      ++at;
      if (cap.kind == sim::PciCapabilitySpec::Kind::Vpd) {
        EXPECT_NE(line.find("Vital Product Data"), std::string::npos) << slot << ": " << line;
        ++vpd_capabilities;
        continue;
      }
      ASSERT_EQ(cap.kind, sim::PciCapabilitySpec::Kind::Express);
      const char* port = cap.port_type == sim::ExpressPortType::RootPort               ? "Express (v2) Root Port"
                         : cap.port_type == sim::ExpressPortType::UpstreamSwitchPort   ? "Express (v2) Upstream Port"
                         : cap.port_type == sim::ExpressPortType::DownstreamSwitchPort ? "Express (v2) Downstream Port"
                                                                                       : "Express (v2) Endpoint";
      EXPECT_NE(line.find(port), std::string::npos) << slot << ": " << line;
      const size_t status = block.find("DLActive", at);
      ASSERT_NE(status, std::string::npos) << slot << ":\n" << block;
      EXPECT_EQ(block[status + 8], cap.link_active ? '+' : '-') << slot << " link state:\n" << block;
      root_ports += cap.port_type == sim::ExpressPortType::RootPort ? 1 : 0;
    }
  }
  // The board has six root ports (the four slots', the chipset port 00:1C.0 and the onboard LAN's) and VPD on
  // two functions: the checks above covered them all.
  EXPECT_EQ(root_ports, 6u);
  EXPECT_EQ(vpd_capabilities, 2u);
}

}  // namespace
