// Where the driver looks for the slots' root ports: the inventory's slots over the bus layout record.
#include "tools/boardsim/slot_root_ports.h"

#include <gtest/gtest.h>

#include "sim/board/board_file.h"
#include "sim/pci/socket_bus_layout.h"

namespace {

std::vector<uint8_t> Layout(uint8_t stack1_bus, uint8_t stack2_bus, bool stack2_present = true) {
  sim::SocketBusLayoutSpec spec;
  sim::SocketLayoutSpec socket;
  socket.segment = 0;
  socket.stack_bus[1] = stack1_bus;
  if (stack2_present) socket.stack_bus[2] = stack2_bus;
  spec.sockets[0] = socket;
  return sim::RenderSocketBusLayout(spec);
}

TEST(SlotRootPorts, DefaultBoardPlacesTheFourSlotsOnTheirStacks) {
  const std::vector<boardsim::SlotRootPort> ports = boardsim::SlotRootPorts(sim::DefaultBoard().pcd.socket_bus_layout);
  ASSERT_EQ(ports.size(), 4u);
  EXPECT_EQ(ports[0].designation, "JSLOT1");
  EXPECT_EQ(ports[0].at, (sim::PciLocation{0, 0x16, 0, 0}));
  EXPECT_EQ(ports[1].designation, "JSLOT2");
  EXPECT_EQ(ports[1].at, (sim::PciLocation{0, 0x16, 2, 0}));
  EXPECT_EQ(ports[2].designation, "JSLOT3");
  EXPECT_EQ(ports[2].at, (sim::PciLocation{0, 0x30, 0, 0}));
  EXPECT_EQ(ports[3].designation, "JSLOT4");
  EXPECT_EQ(ports[3].at, (sim::PciLocation{0, 0x30, 2, 0}));
}

TEST(SlotRootPorts, FollowTheStackBusesOfTheLayout) {
  const std::vector<boardsim::SlotRootPort> ports = boardsim::SlotRootPorts(Layout(0x40, 0x80));
  ASSERT_EQ(ports.size(), 4u);
  EXPECT_EQ(ports[0].at.bus, 0x40);
  EXPECT_EQ(ports[3].at.bus, 0x80);
}

TEST(SlotRootPorts, AnAbsentStackHasNoRootPort) {
  const std::vector<boardsim::SlotRootPort> ports = boardsim::SlotRootPorts(Layout(0x40, 0x80, false));
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].designation, "JSLOT1");
  EXPECT_EQ(ports[1].designation, "JSLOT2");
}

TEST(SlotRootPorts, NoneWithoutAValidLayout) {
  EXPECT_TRUE(boardsim::SlotRootPorts({}).empty());
  std::vector<uint8_t> invalid = Layout(0x40, 0x80);
  invalid[0] = 0;  // Valid
  EXPECT_TRUE(boardsim::SlotRootPorts(invalid).empty());
  // A record cut short reads zero past its end, as the driver's copy does: socket 0 absent.
  EXPECT_TRUE(boardsim::SlotRootPorts({1, 0, 0, 0}).empty());
}

}  // namespace
