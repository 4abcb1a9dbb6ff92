// The PCI tree: lspci's drawing of root buses, bridges and endpoints, and the slot designations on root ports.
#include "tools/boardsim/pci_tree.h"

#include <gtest/gtest.h>

#include "sim/board/board_file.h"
#include "sim/common/virtual_clock.h"
#include "tools/boardsim/slot_root_ports.h"

namespace {

// A root bus with a host bridge, a bridge to a switch (one downstream port with an endpoint, one empty) and
// an endpoint after it.
constexpr const char* kSwitchBoard = R"(
pci:
  functions:
    - {at: 00:00.0, vendor_id: 0x8086, device_id: 0x0001, class_code: 0x060000}
    - {at: 00:01.0, vendor_id: 0x8086, device_id: 0x0002, class_code: 0x060400, header_type: 1,
       secondary_bus: 1, subordinate_bus: 4}
    - {at: 01:00.0, vendor_id: 0x8086, device_id: 0x0003, class_code: 0x060400, header_type: 1,
       secondary_bus: 2, subordinate_bus: 4}
    - {at: 02:00.0, vendor_id: 0x8086, device_id: 0x0004, class_code: 0x060400, header_type: 1, secondary_bus: 3}
    - {at: 02:01.0, vendor_id: 0x8086, device_id: 0x0004, class_code: 0x060400, header_type: 1, secondary_bus: 4}
    - {at: 03:00.0, name: disk, vendor_id: 0x144D, device_id: 0xA808, class_code: 0x010802}
    - {at: 00:02.0, vendor_id: 0x8086, device_id: 0x0020, class_code: 0x020000}
)";

std::string Tree(const sim::Board& board, boardsim::TreeText text) {
  sim::VirtualClock clock;
  sim::PciBus bus(board.pci, clock);
  return boardsim::PciTreeText(bus, boardsim::SlotRootPorts(board.pcd.socket_bus_layout), text);
}

TEST(PciTree, DrawsBridgesSwitchesAndEmptyPortsAsLspciDoes) {
  const sim::Board board = sim::ParseBoardText(kSwitchBoard, "switch.yaml");
  EXPECT_EQ(Tree(board, boardsim::TreeText::Ids),
            "-[0000:00]-+-00.0  8086:0001\n"
            "           +-01.0-[01-04]----00.0-[02-04]--+-00.0-[03]----00.0  144d:a808\n"
            "           |                               \\-01.0-[04]--\n"
            "           \\-02.0  8086:0020\n");
}

TEST(PciTree, NamesEachEndpointByClassNameAndIds) {
  const sim::Board board = sim::ParseBoardText(kSwitchBoard, "switch.yaml");
  const std::string tree = Tree(board, boardsim::TreeText::Names);
  EXPECT_NE(tree.find("-[03]----00.0  Non-Volatile memory controller: disk [144d:a808]\n"), std::string::npos) << tree;
  EXPECT_NE(tree.find("\\-02.0  Ethernet controller: Device [8086:0020]\n"), std::string::npos) << tree;
}

TEST(PciTree, SeveralRootBusesInAscendingOrder) {
  const sim::Board board = sim::ParseBoardText(R"(
pci:
  functions:
    - {at: 00:00.0, vendor_id: 0x8086, device_id: 0x0001}
    - {at: 80:00.0, vendor_id: 0x8086, device_id: 0x0002}
    - {at: 80:01.0, vendor_id: 0x8086, device_id: 0x0003}
    - {at: "0001:00:00.0", vendor_id: 0x8086, device_id: 0x0004}
)",
                                               "roots.yaml");
  EXPECT_EQ(Tree(board, boardsim::TreeText::Ids),
            "-+-[0000:00]---00.0  8086:0001\n"
            " +-[0000:80]-+-00.0  8086:0002\n"
            " |           \\-01.0  8086:0003\n"
            " \\-[0001:00]---00.0  8086:0004\n");
}

TEST(PciTree, LabelsEachSlotRootPortWithItsDesignation) {
  const std::string tree = Tree(sim::DefaultBoard(), boardsim::TreeText::Names);
  EXPECT_NE(tree.find("00.0 (JSLOT1)-[17]--+-00.0  Ethernet controller: JSLOT1 network port 0"), std::string::npos)
      << tree;
  EXPECT_NE(tree.find("02.0 (JSLOT2)-[18]----00.0  Processing accelerators: JSLOT2 accelerator"), std::string::npos)
      << tree;
  EXPECT_NE(tree.find("00.0 (JSLOT3)-[31]--\n"), std::string::npos) << tree;
  EXPECT_NE(tree.find("02.0 (JSLOT4)-[32-34]----00.0-[33-34]----00.0-[34]----00.0  Serial Attached SCSI"),
            std::string::npos)
      << tree;
  // Bridges that are no slot's root port carry no label.
  EXPECT_NE(tree.find("+-1c.4-[02]----00.0  Ethernet controller: onboard network controller"), std::string::npos)
      << tree;
  EXPECT_EQ(tree.find("(JSLOT", tree.find("JSLOT4") + 1), std::string::npos) << tree;
}

TEST(PciTree, ABoardWithoutFunctionsDrawsAnEmptyBus0AsLspciDoes) {
  EXPECT_EQ(Tree(sim::ParseBoardText("name: empty\n", "empty.yaml"), boardsim::TreeText::Names), "-[0000:00]-\n");
}

}  // namespace
