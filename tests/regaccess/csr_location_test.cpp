// Bus, device and function of valid CSR requests, box type by box type, and the silent zero results.
#include "tests/regaccess/regaccess_fixture.h"

#include "regaccess/csr_location.h"
#include "regaccess/csr_tables.h"

namespace csr_test {
namespace {

struct Placement {
  uint32_t bus, device, function;
  bool operator==(const Placement&) const = default;
};
void PrintTo(const Placement& p, std::ostream* os) {
  *os << "bus 0x" << std::hex << p.bus << " device " << std::dec << p.device << " function " << p.function;
}

class CsrLocationTest : public CsrTest {
 protected:
  Placement Locate(uint8_t socket, uint8_t box, uint8_t instance, uint8_t block) {
    const RegisterAddress record = Csr(socket, box, instance, block);
    const CsrLocation l = LocateCsr(&record);
    EXPECT_TRUE(sim::DebugStops().empty())
        << "unexpected stop: " << ::testing::PrintToString(sim::DebugStops().front());
    return {l.Bus, l.Device, l.Function};
  }
};

TEST_F(CsrLocationTest, ChaInstancesFillFourDevicesOfEightFunctions) {
  EXPECT_EQ(Locate(0, 0, 27, 0), (Placement{Socket0Row[1], 11, 3}));
  EXPECT_EQ(Locate(0, 0, 6, 0), (Placement{Socket0Row[1], 8, 6}));
  EXPECT_EQ(Locate(0, 1, 13, 0), (Placement{Socket0Row[1], 15, 5}));
  EXPECT_EQ(Locate(0, 1, 9, 0), (Placement{Socket0Row[1], 15, 1}));
  EXPECT_EQ(Locate(0, 2, 17, 0), (Placement{Socket0Row[1], 22, 1}));
  EXPECT_EQ(Locate(0, 2, 24, 0), (Placement{Socket0Row[1], 23, 0}));
}

TEST_F(CsrLocationTest, SingleInstanceBoxesOnStackOne) {
  EXPECT_EQ(Locate(0, 3, 0, 3), (Placement{Socket0Row[1], 29, 3}));
  EXPECT_EQ(Locate(0, 4, 0, 7), (Placement{Socket0Row[1], 30, 7}));
  EXPECT_EQ(Locate(0, 5, 0, 5), (Placement{Socket0Row[1], 31, 5}));
}

TEST_F(CsrLocationTest, SecondSocketUsesItsOwnRow) {
  EXPECT_EQ(Locate(1, 4, 0, 2), (Placement{Socket1Row[1], 30, 2}));
  EXPECT_EQ(Locate(1, 17, 5, 0), (Placement{Socket1Row[5], 5, 0}));
}

TEST_F(CsrLocationTest, M2memAndBoxesSevenAndElevenOnStackTwo) {
  EXPECT_EQ(Locate(0, 6, 1, 1), (Placement{Socket0Row[2], 9, 1}));
  // Box 7: T[instance mod D] + block for blocks 0 and 1, else 4. D = 2.
  EXPECT_EQ(Locate(0, 7, 5, 1), (Placement{Socket0Row[2], 13, 5}));
  EXPECT_EQ(Locate(0, 7, 2, 0), (Placement{Socket0Row[2], 11, 0}));
  EXPECT_EQ(Locate(0, 7, 3, 3), (Placement{Socket0Row[2], 12, 4}));
  // Box 11: T[instance mod D] + block.
  EXPECT_EQ(Locate(0, 11, 2, 1), (Placement{Socket0Row[2], 11, 3}));
  EXPECT_EQ(Locate(0, 11, 1, 0), (Placement{Socket0Row[2], 10, 6}));
}

TEST_F(CsrLocationTest, BoxEightSpreadsInstancesOverDevicesByD) {
  EXPECT_EQ(Locate(0, 8, 3, 0), (Placement{Socket0Row[2], 23, 2}));
  EXPECT_EQ(Locate(0, 8, 3, 2), (Placement{Socket0Row[2], 23, 5}));
  SetInstancesPerDevice(3);
  EXPECT_EQ(Locate(0, 8, 5, 1), (Placement{Socket0Row[2], 23, 5}));  // T[5 mod 3] + 1
}

TEST_F(CsrLocationTest, WzlAndBoxTenOnStackThree) {
  EXPECT_EQ(Locate(0, 9, 2, 3), (Placement{Socket0Row[3], 16, 3}));
  EXPECT_EQ(Locate(0, 10, 1, 2), (Placement{Socket0Row[3], 18, 6}));
  EXPECT_EQ(Locate(0, 10, 0, 2), (Placement{Socket0Row[3], 18, 2}));
  EXPECT_EQ(Locate(0, 12, 3, 0), (Placement{Socket0Row[3], 23, 0}));
  EXPECT_EQ(Locate(0, 12, 2, 1), (Placement{Socket0Row[3], 22, 5}));
  EXPECT_EQ(Locate(0, 12, 4, 2), (Placement{Socket0Row[3], 21, 7}));
  EXPECT_EQ(Locate(0, 12, 1, 2), (Placement{Socket0Row[3], 21, 3}));
}

// Box type 12 takes its device from Box12DeviceTable by instance; instance 0 (CPU type 0) is device 22.
TEST_F(CsrLocationTest, BoxTwelveInstanceZeroIsDeviceTwentyTwo) {
  EXPECT_EQ(Locate(0, 12, 0, 0), (Placement{Socket0Row[3], 22, 0}));
  EXPECT_EQ(Locate(0, 12, 0, 2), (Placement{Socket0Row[3], 22, 3}));
  const uint8_t expected[5] = {22, 21, 22, 23, 21};
  for (uint8_t instance = 0; instance < 5; ++instance) {
    EXPECT_EQ(Locate(0, 12, instance, 0).device, expected[instance]) << "instance " << int(instance);
  }
}

TEST_F(CsrLocationTest, IioPcieInstancesGroupFourPerStack) {
  EXPECT_EQ(Locate(0, 14, 5, 0), (Placement{Socket0Row[2], 0, 0}));
  EXPECT_EQ(Locate(0, 14, 0, 0), (Placement{Socket0Row[0], 0, 0}));
  EXPECT_EQ(Locate(0, 14, 4, 0), (Placement{Socket0Row[1], 3, 0}));
  EXPECT_EQ(Locate(0, 14, 20, 0), (Placement{Socket0Row[5], 3, 0}));
  EXPECT_EQ(Locate(0, 15, 1, 0), (Placement{Socket0Row[1], 0, 0}));
  EXPECT_EQ(Locate(0, 15, 20, 0), (Placement{Socket0Row[5], 0, 0}));
  EXPECT_EQ(Locate(0, 13, 3, 0), (Placement{Socket0Row[0], 0, 0}));
}

TEST_F(CsrLocationTest, QdVtdUboxAndFpga) {
  EXPECT_EQ(Locate(0, 16, 255, 6), (Placement{Socket0Row[0], 4, 6}));
  EXPECT_EQ(Locate(0, 17, 3, 3), (Placement{Socket0Row[3], 5, 4}));
  EXPECT_EQ(Locate(0, 19, 0, 2), (Placement{Socket0Row[0], 8, 2}));
  EXPECT_EQ(Locate(1, 20, 0, 7), (Placement{Socket1Row[0], 16, 0}));
}

TEST_F(CsrLocationTest, DfxBusDependsOnTheFunctionalBlock) {
  EXPECT_EQ(Locate(0, 18, 9, 0), (Placement{Socket0Row[3], 7, 0}));
  EXPECT_EQ(Locate(0, 18, 10, 0), (Placement{Socket0Row[3], 7, 1}));
  EXPECT_EQ(Locate(0, 18, 0, 0), (Placement{Socket0Row[0], 7, 0}));
  EXPECT_EQ(Locate(0, 18, 3, 2), (Placement{Socket0Row[3], 7, 7}));
  EXPECT_EQ(Locate(0, 18, 5, 4), (Placement{Socket0Row[5], 7, 4}));
  EXPECT_EQ(Locate(0, 18, 12, 1), (Placement{Socket0Row[0], 7, 0}));
  EXPECT_EQ(Locate(0, 18, 12, 5), (Placement{Socket0Row[0], 7, 4}));
}

// Boxes 7 and 11: instances 0 and 1 on device 10, 2 on 11, 3 and 4 on 12, 5 on 13, every instance its own row.
TEST_F(CsrLocationTest, BoxesSevenAndElevenPlaceEachInstanceOnItsDevice) {
  const UINT32 expected[] = {10, 10, 11, 12, 12, 13, 0};
  for (UINT8 box : {7, 11}) {
    for (UINT8 instance = 0; instance < 7; ++instance) {
      EXPECT_EQ(Locate(0, box, instance, 0).device, expected[instance])
          << "box " << int{box} << " instance " << int{instance};
    }
  }
}

TEST_F(CsrLocationTest, SomeRequestsResolveToZeroWithoutAStop) {
  // Boxes 7 and 11 above instance 5: device 0.
  EXPECT_EQ(Locate(0, 7, 6, 0).device, 0u);
  EXPECT_EQ(Locate(0, 11, 9, 0).device, 0u);
  // DFX blocks 2 and 4 above instance 5: bus 0.
  EXPECT_EQ(Locate(0, 18, 6, 2).bus, 0u);
  EXPECT_EQ(Locate(0, 18, 20, 4).bus, 0u);
}

TEST_F(CsrLocationTest, FpgaSocketMapGovernsBoxTwentyOnly) {
  // Socket 1 is in both maps; socket 0 only in the CPU map.
  EXPECT_EQ(Locate(0, 19, 0, 0).bus, Socket0Row[0]);
  EXPECT_EQ(GetCsrBus(context_, 0, 20, 0, 0, TopologyBlock()), 0u);
  EXPECT_EQ(sim::TakeDebugStops(), (std::vector{Stop("\nInvalid Socket Id %d. \n", {0})}));
  // An FPGA-only socket refuses every other box type.
  SetSocketMaps(0x1, 0x3);
  EXPECT_EQ(Locate(1, 20, 0, 0).bus, Socket1Row[0]);
  EXPECT_EQ(GetCsrBus(context_, 1, 19, 0, 0, TopologyBlock()), 0u);
  EXPECT_EQ(sim::TakeDebugStops(), (std::vector{Stop("\nInvalid Socket Id %d. \n", {1})}));
}

// The socket maps have 32 bits: socket 32 and above are absent even when every bit is set.
TEST_F(CsrLocationTest, SocketsPastTheMapsAreInvalid) {
  SetSocketMaps(0xFFFFFFFFu, 0xFFFFFFFFu);
  for (UINT8 socket : {32, 33, 255}) {
    EXPECT_EQ(GetCsrBus(context_, socket, 19, 0, 0, TopologyBlock()), 0u) << int{socket};
    EXPECT_EQ(sim::TakeDebugStops(), (std::vector{Stop("\nInvalid Socket Id %d. \n", {socket})})) << int{socket};
  }
}

}  // namespace
}  // namespace csr_test

namespace csr_test {
namespace {

// The function-block table answers CsrNoFunction outside its CPU types, box types and columns: the last valid
// value of each, the first invalid one and one well beyond (boardsim asks for any box type).
TEST(FunctionBlockEntryTest, AnswersNoFunctionOutsideTheTable) {
  struct Row {
    UINT32 cpu, box, index;
    UINT8 expected;
  };
  const Row rows[] = {
      {0, 20, 7, 0},
      {0, 19, 2, 2},
      {0, 19, 3, CsrNoFunction},
      {0, 21, 0, CsrNoFunction},
      {0, 255, 0, CsrNoFunction},
      {0, 0, 8, CsrNoFunction},
      {0, 0, 200, CsrNoFunction},
      {1, 0, 0, CsrNoFunction},
      {7, 0, 0, CsrNoFunction},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(FunctionBlockEntry(r.cpu, r.box, r.index), r.expected)
        << "cpu " << r.cpu << " box " << r.box << " index " << r.index;
  }
}

}  // namespace
}  // namespace csr_test
