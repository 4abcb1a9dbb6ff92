// Every stop of the three stages: the exact message bytes, the arguments, and what the stage yields
// once the simulated debugger has cleared the stop flag.
#include "tests/regaccess/regaccess_fixture.h"

namespace csr_test {
namespace {

struct StopCase {
  const char* name;
  uint8_t socket, box, instance, block;
  uint8_t cpu_type, d;
  std::vector<sim::DebugStop> stops;  // in stage order: bus, device, function
  uint32_t bus, device, function;     // what the stages yield
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

const std::string kFunctionalBlock =
    "\nInvalid Functional Block %d accessed for CPUType %d CPUIndex %d Box Type %d and Box Instance %d. \n";
constexpr uint8_t R0_1 = Socket0Row[1], R0_2 = Socket0Row[2], R0_3 = Socket0Row[3], R0_0 = Socket0Row[0];

// Laid out by hand: one case a line, the long ones continued by hand.
// clang-format off
const StopCase kCases[] = {
    // Bus stage.
    {"SocketNotPresent", 5, 0, 0, 0, 0, 2, {Stop("\nInvalid Socket Id %d. \n", {5})}, 0, 8, 0},
    {"SocketBeyondTheBitmaps", 40, 4, 0, 0, 0, 2, {Stop("\nInvalid Socket Id %d. \n", {40})}, 0, 30, 0},
    {"FpgaBoxOnCpuOnlySocket", 0, 20, 0, 0, 0, 2, {Stop("\nInvalid Socket Id %d. \n", {0})}, 0, 16, 0},
    {"IioPcieInstance21", 0, 14, 21, 0, 0, 2,
     {Stop("\nInvalid IIO_PCIE BoxInstance %d. \n", {21}), Stop("\nInvalid IIO PCIE Box Instance Number %d. \n", {21})},
     0, 0, 0},
    {"IioPcieOtherCpuType", 0, 14, 1, 0, 1, 2,
     {Stop("\nInvalid IIO PCIE Box Instance Number %d. \n", {1}), Stop(kFunctionalBlock, {0, 1, 0, 14, 1})}, R0_1, 0, 0},
    {"DfxOtherCpuType", 0, 18, 1, 0, 1, 2,
     {Stop("\nInvalid IIO DFX Box Instance Number %d. \n", {1}), Stop("\nInvalid IIO DFX Box Instance Number %d. \n", {1})},
     R0_1, 0, 0},
    {"FpgaOtherCpuType", 1, 20, 0, 0, 1, 2, {Stop("\nInvalid FPGA Instance number %d. \n", {0})}, Socket1Row[0], 0, 0},
    {"NtbInstance0", 0, 15, 0, 0, 0, 2, {Stop("\nInvalid BOX_IIO_PCIE_NTB BoxInstance %d. \n", {0})}, 0, 0, 0},
    {"NtbInstance21", 0, 15, 21, 0, 0, 2, {Stop("\nInvalid BOX_IIO_PCIE_NTB BoxInstance %d. \n", {21})}, 0, 0, 0},
    {"VtdInstance6", 0, 17, 6, 0, 0, 2, {Stop("\nInvalid BOX_IIO_VTD BoxInstance %d. \n", {6})}, 0, 5, 0},
    {"DfxBlock0Instance21", 0, 18, 21, 0, 0, 2,
     {Stop("\nInvalid IIO_PCIE BoxInstance %d. \n", {21}), Stop("\nInvalid IIO DFX Box Instance Number %d. \n", {21}),
      Stop("\nInvalid IIO DFX Box Instance Number %d. \n", {21})},
     0, 0, 0},
    {"DfxBlock6", 0, 18, 1, 6, 0, 2,
     {Stop("\nInvalid BoxType %d, Functional block %d. \n", {18, 6}),
      Stop("\nInvalid IIO DFX Box Instance Number %d. \n", {1})},
     0, 7, 0},
    {"BoxType21", 0, 21, 0, 0, 0, 2,
     {Stop("\nInvalid BoxType %d. \n", {21}), Stop("\nInvalid Box Type %d. \n", {21}),
      Stop("\nInvalid Box Type %d. \n", {21})},
     0, 0, 0},
    {"BoxType255", 0, 255, 3, 1, 0, 2,
     {Stop("\nInvalid BoxType %d. \n", {255}), Stop("\nInvalid Box Type %d. \n", {255}),
      Stop("\nInvalid Box Type %d. \n", {255})},
     0, 0, 0},
    // Device stage.
    {"ChaInstance28", 0, 0, 28, 0, 0, 2, {Stop("\nInvalid CHA Box Instance Number %d. \n", {28})}, R0_1, 0, 0},
    {"Cha1Instance200", 0, 1, 200, 0, 0, 2, {Stop("\nInvalid CHA Box Instance Number %d. \n", {200})}, R0_1, 0, 0},
    {"Cha2OtherCpuType", 0, 2, 3, 0, 1, 2, {Stop("\nInvalid CHA Box Instance Number %d. \n", {3})}, R0_1, 0, 0},
    {"ChabcInstance1", 0, 3, 1, 0, 0, 2, {Stop("\nInvalid CHABC Box Instance Number %d. \n", {1})}, R0_1, 0, 0},
    {"PcuInstance1", 0, 4, 1, 2, 0, 2, {Stop("\nInvalid PCU Box Instance Number %d. \n", {1})}, R0_1, 0, 2},
    {"VcuInstance9", 0, 5, 9, 0, 0, 2, {Stop("\nInvalid VCU Box Instance Number %d. \n", {9})}, R0_1, 0, 0},
    {"M2memInstance2", 0, 6, 2, 0, 0, 2, {Stop("\nInvalid M2MEM Box Instance Number %d. \n", {2})}, R0_2, 0, 0},
    {"ChabcOtherCpuType", 0, 3, 0, 0, 1, 2,
     {Stop("\nInvalid CHABC Box Instance Number %d. \n", {0}), Stop(kFunctionalBlock, {0, 1, 0, 3, 0})}, R0_1, 0, 0},
    {"PcuOtherCpuType", 0, 4, 0, 0, 1, 2,
     {Stop("\nInvalid PCU Box Instance Number %d. \n", {0}), Stop(kFunctionalBlock, {0, 1, 0, 4, 0})}, R0_1, 0, 0},
    {"VcuOtherCpuType", 0, 5, 0, 0, 1, 2,
     {Stop("\nInvalid VCU Box Instance Number %d. \n", {0}), Stop(kFunctionalBlock, {0, 1, 0, 5, 0})}, R0_1, 0, 0},
    {"M2memOtherCpuType", 0, 6, 0, 0, 1, 2,
     {Stop("\nInvalid M2MEM Box Instance Number %d. \n", {0}), Stop(kFunctionalBlock, {0, 1, 0, 6, 0})}, R0_2, 0, 0},
    {"Box7OtherCpuType", 0, 7, 0, 0, 1, 2,
     {Stop("\nInvalid Cpu type.\n"), Stop(kFunctionalBlock, {0, 1, 0, 7, 0})}, R0_2, 0, 0},
    {"Box8OtherCpuType", 0, 8, 0, 1, 2, 2,
     {Stop("\nInvalid Cpu type.\n"), Stop(kFunctionalBlock, {1, 2, 0, 8, 0})}, R0_2, 0, 0},
    {"Box8DevicePast31", 0, 8, 10, 1, 0, 1,
     {Stop("\nInvalid Device %d accessed for Box Type %d and Box Instance %d. \n", {32, 8, 10})}, R0_2, 0, 1},
    {"Box8Instance255", 0, 8, 255, 0, 0, 1,
     {Stop("\nInvalid Device %d accessed for Box Type %d and Box Instance %d. \n", {277, 8, 255})}, R0_2, 0, 0},
    {"WzlInstance3", 0, 9, 3, 0, 0, 2, {Stop("\nInvalid WZL Box Instance Number %d. \n", {3})}, R0_3, 0, 0},
    {"WzlOtherCpuType", 0, 9, 0, 0, 1, 2,
     {Stop("\nInvalid Cpu type.\n"), Stop(kFunctionalBlock, {0, 1, 0, 9, 0})}, R0_3, 0, 0},
    {"Box10Instance2", 0, 10, 2, 0, 0, 2, {Stop("\nInvalid Box instance.\n")}, R0_3, 0, 0},
    {"Box10OtherCpuType", 0, 10, 0, 3, 4, 2,
     {Stop("\nInvalid Cpu type.\n"), Stop(kFunctionalBlock, {3, 4, 0, 10, 0})}, R0_3, 0, 0},
    {"Box11OtherCpuType", 0, 11, 0, 0, 1, 2,
     {Stop("\nInvalid Cpu type.\n"), Stop(kFunctionalBlock, {0, 1, 0, 11, 0})}, R0_2, 0, 0},
    {"Box12Instance5", 0, 12, 5, 0, 0, 2, {Stop("\nInvalid WZL Box Instance Number %d. \n", {5})}, R0_3, 0, 0},
    {"Box12OtherCpuType", 0, 12, 0, 0, 1, 2,
     {Stop("\nInvalid Cpu type.\n"), Stop(kFunctionalBlock, {0, 1, 0, 12, 0})}, R0_3, 0, 0},
    {"DmiInstance4", 0, 13, 4, 0, 0, 2, {Stop("\nInvalid IIO PCIE DMI Box Instance Number %d. \n", {4})}, R0_0, 0, 0},
    {"DmiOtherCpuType", 0, 13, 0, 0, 1, 2,
     {Stop("\nInvalid IIO PCIE DMI Box Instance Number %d. \n", {0}), Stop(kFunctionalBlock, {0, 1, 0, 13, 0})}, R0_0, 0, 0},
    {"NtbOtherCpuType", 0, 15, 1, 0, 1, 2,
     {Stop("\nInvalid IIO PCIE Box Instance Number %d. \n", {1}), Stop(kFunctionalBlock, {0, 1, 0, 15, 1})}, R0_1, 0,
     0},
    {"QdOtherCpuType", 0, 16, 7, 0, 1, 2,
     {Stop("\nInvalid IIO QD Box Instance Number %d. \n", {7}), Stop(kFunctionalBlock, {0, 1, 0, 16, 7})}, R0_0, 0, 0},
    {"VtdOtherCpuType", 0, 17, 2, 0, 1, 2,
     {Stop("\nInvalid IIO VTD Box Instance Number %d. \n", {2}), Stop(kFunctionalBlock, {0, 1, 0, 17, 2})}, R0_2, 0,
     0},
    {"UboxInstance1", 0, 19, 1, 0, 0, 2, {Stop("\nInvalid Ubox Instance Number %d. \n", {1})}, R0_0, 0, 0},
    {"UboxOtherCpuType", 0, 19, 0, 0, 1, 2,
     {Stop("\nInvalid Ubox Instance Number %d. \n", {0}), Stop(kFunctionalBlock, {0, 1, 0, 19, 0})}, R0_0, 0, 0},
    {"FpgaInstance1", 1, 20, 1, 0, 0, 2,
     {Stop("\nInvalid FPGA Instance number %d. \n", {1}), Stop("\nInvalid FPGA Box Instance Number %d. \n", {1})},
     Socket1Row[0], 0, 0},
    // Function stage.
    {"ChabcBlock4", 0, 3, 0, 4, 0, 2, {Stop(kFunctionalBlock, {4, 0, 0, 3, 0})}, R0_1, 29, 0},
    {"M2memBlock2", 0, 6, 1, 2, 0, 2, {Stop(kFunctionalBlock, {2, 0, 0, 6, 1})}, R0_2, 9, 0},
    {"Box10Instance1MissingBlock", 0, 10, 1, 5, 0, 2, {Stop(kFunctionalBlock, {5, 0, 0, 10, 1})}, R0_3, 18, 0},
    {"Box12Instance4Block3", 0, 12, 4, 3, 0, 2, {Stop(kFunctionalBlock, {3, 0, 0, 12, 4})}, R0_3, 21, 0},
    {"Box7MissingEntryPlusBlock", 0, 7, 6, 1, 0, 7, {Stop(kFunctionalBlock, {1, 0, 0, 7, 6})}, R0_2, 0, 0},
    {"Box8Block2PastTheRow", 0, 8, 7, 2, 0, 8, {Stop(kFunctionalBlock, {2, 0, 0, 8, 7})}, R0_2, 22, 0},
    {"DfxBlock7", 0, 18, 0, 7, 0, 2,
     {Stop("\nInvalid BoxType %d, Functional block %d. \n", {18, 7}),
      Stop("\nInvalid IIO DFX Box Instance Number %d. \n", {0})},
     0, 7, 0},
    // Functional blocks of 8 or more lie outside every row: refused like a missing entry.
    {"PcuBlock8", 0, 4, 0, 8, 0, 2, {Stop(kFunctionalBlock, {8, 0, 0, 4, 0})}, R0_1, 30, 0},
    {"QdBlock200", 0, 16, 0, 200, 0, 2, {Stop(kFunctionalBlock, {200, 0, 0, 16, 0})}, R0_0, 4, 0},
    {"Box11Block8", 0, 11, 0, 8, 0, 2, {Stop(kFunctionalBlock, {8, 0, 0, 11, 0})}, R0_2, 10, 0},
    // D = 0: refused before the division, in each stage that divides.
    {"Box7DZero", 0, 7, 1, 0, 0, 0, {Stop("\nInvalid Instances Per Device 0 for Box Type %d. \n", {7})}, R0_2, 10, 0},
    {"Box8DZero", 0, 8, 1, 0, 0, 0,
     {Stop("\nInvalid Instances Per Device 0 for Box Type %d. \n", {8}),
      Stop("\nInvalid Instances Per Device 0 for Box Type %d. \n", {8})},
     R0_2, 0, 0},
    {"Box11DZero", 0, 11, 3, 1, 0, 0, {Stop("\nInvalid Instances Per Device 0 for Box Type %d. \n", {11})}, R0_2, 12,
     0},
};
// clang-format on

class CsrStopTest : public CsrTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(CsrStopTest, StopsWithTheMessageAndArgumentsThenYieldsZero) {
  const StopCase& c = GetParam();
  SetCpuType(c.cpu_type);
  SetInstancesPerDevice(c.d);
  const RegisterAddress record = Csr(c.socket, c.box, c.instance, c.block);
  const CsrLocation l = LocateCsr(&record);
  EXPECT_EQ(sim::TakeDebugStops(), c.stops);
  EXPECT_EQ(l.Bus, c.bus);
  EXPECT_EQ(l.Device, c.device);
  EXPECT_EQ(l.Function, c.function);
}

INSTANTIATE_TEST_SUITE_P(AllStages, CsrStopTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<StopCase>& info) { return info.param.name; });

TEST_F(CsrTest, DZeroWithoutDivisionLeavesOtherBlocksOfBoxSevenAlone) {
  SetInstancesPerDevice(0);
  const RegisterAddress record = Csr(0, 7, 4, 3);
  const CsrLocation l = LocateCsr(&record);
  EXPECT_TRUE(sim::DebugStops().empty());
  EXPECT_EQ(l.Device, 12u);
  EXPECT_EQ(l.Function, 4u);
}

TEST_F(CsrTest, TranslationGoesOnAfterAStopWithTheZeroStage) {
  // CHA instance 28: device stage stops, so device 0 and function 0 (the instance is out of range).
  const uint32_t address = Translate(Csr(0, 0, 28, 0, 0x44));
  EXPECT_EQ(sim::TakeDebugStops().size(), 1u);
  EXPECT_EQ(address, Segment0Base + Bdf(Socket0Row[1], 0, 0, 0x44));
}

}  // namespace
}  // namespace csr_test
