// The boardsim csr command: one lookup, a lookup that stops, refused options, and the --table listing.
#include "tools/boardsim/csr_command.h"

#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <map>
#include <sstream>

#include "regaccess/csr_translation.h"

namespace boardsim {
namespace {

struct CommandRun {
  int status;
  std::string out, err;
};

// Two CPU sockets, both segments at 0x80000000.
CsrSilicon TwoSockets() {
  CsrSilicon s;
  s.stack_bus = {{0x00, 0x1E, 0x1F, 0x20, 0x40, 0x60}, {0x80, 0x9E, 0x9F, 0xA0, 0x00, 0xE0}};
  s.cpu_socket_map = 0x3;
  s.instances_per_device = 2;
  s.mmcfg_base = {0x80000000u, 0x80000000u};
  return s;
}

CommandRun RunCsr(const CsrOptions& options, const CsrSilicon& silicon = TwoSockets()) {
  std::ostringstream out, err;
  const int status = RunCsrCommand(options, silicon, out, err);
  return {status, out.str(), err.str()};
}

CsrOptions Lookup(unsigned socket, unsigned box, unsigned instance, unsigned block, unsigned offset) {
  CsrOptions o;
  o.socket = socket;
  o.box = box;
  o.instance = instance;
  o.block = block;
  o.offset = offset;
  return o;
}

TEST(CsrCommandTest, LookupPrintsBusDeviceFunctionAndAddress) {
  const CommandRun r = RunCsr(Lookup(0, 4, 0, 2, 0x84));
  EXPECT_EQ(r.status, kCsrOk) << r.err;
  EXPECT_EQ(r.out,
            "socket 0 box 4 (PCU) instance 0 block 2 offset 0x084\n"
            "bus 0x1E device 30 function 2\n"
            "address 0x81EF2084\n");
  EXPECT_EQ(r.err, "");
}

TEST(CsrCommandTest, SecondSocketUsesItsRowAndSegmentBase) {
  CsrSilicon silicon = TwoSockets();
  silicon.mmcfg_base = {0x80000000u, 0xA0000000u};
  const CommandRun r = RunCsr(Lookup(1, 17, 3, 0, 0x10), silicon);
  EXPECT_EQ(r.status, kCsrOk) << r.err;
  EXPECT_NE(r.out.find("bus 0xA0 device 5 function 0\naddress 0xAA028010\n"), std::string::npos) << r.out;
}

TEST(CsrCommandTest, LookupOutsideTheRulesPrintsTheStops) {
  const CommandRun r = RunCsr(Lookup(0, 4, 1, 9, 0));
  EXPECT_EQ(r.status, kCsrStopped);
  EXPECT_NE(r.out.find("stop: Invalid PCU Box Instance Number 1.\n"
                       "stop: Invalid Functional Block 9 accessed for CPUType 0 CPUIndex 0 Box Type 4 and Box "
                       "Instance 1.\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("bus 0x1E device 0 function 0"), std::string::npos) << r.out;
}

TEST(CsrCommandTest, RefusesIncompleteOrOutOfRangeOptions) {
  CsrOptions missing;
  missing.box = 4;
  CommandRun r = RunCsr(missing);
  EXPECT_EQ(r.status, kCsrBadInput);
  EXPECT_NE(r.err.find("--instance is missing"), std::string::npos) << r.err;

  r = RunCsr(Lookup(0, 4, 0, 0, 0x1000));
  EXPECT_EQ(r.status, kCsrBadInput);
  EXPECT_NE(r.err.find("--offset 0x1000 is above 0xFFF"), std::string::npos) << r.err;

  r = RunCsr(Lookup(0, 256, 0, 0, 0));
  EXPECT_EQ(r.status, kCsrBadInput);
  EXPECT_NE(r.err.find("--box 256"), std::string::npos) << r.err;

  CsrOptions both = Lookup(0, 4, 0, 0, 0);
  both.table = true;
  EXPECT_EQ(RunCsr(both).status, kCsrBadInput);
  EXPECT_EQ(r.out, "");
}

TEST(CsrCommandTest, RefusesSiliconTheContextCannotHold) {
  CsrSilicon silicon = TwoSockets();
  silicon.stack_bus[1][4] = 0x55;  // shares its byte with the CPU type
  CommandRun r = RunCsr(Lookup(0, 4, 0, 0, 0), silicon);
  EXPECT_EQ(r.status, kCsrBadInput);
  EXPECT_NE(r.err.find("stack_bus[1][4]"), std::string::npos) << r.err;

  silicon = TwoSockets();
  silicon.cpu_socket_map = 0x7;  // socket 2 has no row
  r = RunCsr(Lookup(0, 4, 0, 0, 0), silicon);
  EXPECT_EQ(r.status, kCsrBadInput);
  EXPECT_NE(r.err.find("socket maps"), std::string::npos) << r.err;
}

TEST(CsrCommandTest, CommandLineOptionsReachTheOptionsRecord) {
  CLI::App app("boardsim");
  CsrOptions o;
  CLI::App* csr = AddCsrCommand(app, o);
  const char* argv[] = {"boardsim",   "csr", "--socket", "1", "--box",    "12",
                        "--instance", "3",   "--block",  "2", "--offset", "0x1c"};
  app.parse(static_cast<int>(std::size(argv)), argv);
  EXPECT_TRUE(csr->parsed());
  EXPECT_EQ(o.socket, 1u);
  EXPECT_EQ(o.box, 12u);
  EXPECT_EQ(o.instance, 3u);
  EXPECT_EQ(o.block, 2u);
  EXPECT_EQ(o.offset, 0x1Cu);
  EXPECT_FALSE(o.table);
}

class CsrTableTest : public ::testing::Test {
 protected:
  struct Line {
    unsigned box, instance, block;
  };
  static std::vector<Line> Lines(const std::string& out) {
    std::vector<Line> lines;
    std::istringstream in(out);
    std::string text;
    while (std::getline(in, text)) {
      Line l{};
      // The box name may hold spaces; the numbers follow it.
      if (std::sscanf(text.c_str(), "%u", &l.box) != 1 || text.size() < 20) continue;
      if (std::sscanf(text.c_str() + 19, "%u %u", &l.instance, &l.block) != 2) continue;
      lines.push_back(l);
    }
    return lines;
  }
};

TEST_F(CsrTableTest, EveryListedLocationTranslatesWithoutAStop) {
  CsrOptions o;
  o.table = true;
  const CommandRun r = RunCsr(o);
  ASSERT_EQ(r.status, kCsrOk) << r.err;
  const std::vector<Line> lines = Lines(r.out);
  ASSERT_FALSE(lines.empty());
  std::map<unsigned, unsigned> per_box;
  for (const Line& l : lines) {
    ++per_box[l.box];
    const CommandRun one = RunCsr(Lookup(0, l.box, l.instance, l.block, 0));
    ASSERT_EQ(one.status, kCsrOk) << "box " << l.box << " instance " << l.instance << " block " << l.block << "\n"
                                  << one.out;
  }
  EXPECT_NE(r.out.find(std::to_string(lines.size()) + " locations\n"), std::string::npos);
  // Counts from the box types' valid instances and functional blocks (D = 2).
  EXPECT_EQ(per_box[0], 28u);
  EXPECT_EQ(per_box[3], 4u);
  EXPECT_EQ(per_box[6], 4u);
  EXPECT_EQ(per_box[7], 6u * 2 + 6u * 6);  // blocks 0-1 of T[instance mod 2]; blocks 2-7 give function 4
  EXPECT_EQ(per_box[8], 10u * 8 + 10u * 6);
  EXPECT_EQ(per_box[12], 5u * 3);  // instances 2 and 4 add 4: blocks 0-2 give 4, 5, 7
  EXPECT_EQ(per_box[14], 21u);
  EXPECT_EQ(per_box[15], 20u);
  EXPECT_EQ(per_box[16], 256u * 8);
  EXPECT_EQ(per_box[18], 96u);
  EXPECT_EQ(per_box.count(20), 0u);  // no FPGA socket
}

TEST_F(CsrTableTest, FpgaSocketListsTheFpgaBox) {
  CsrSilicon silicon = TwoSockets();
  silicon.fpga_socket_map = 0x2;
  CsrOptions o;
  o.table = true;
  o.socket = 1;
  const CommandRun r = RunCsr(o, silicon);
  ASSERT_EQ(r.status, kCsrOk) << r.err;
  std::map<unsigned, unsigned> per_box;
  for (const Line& l : Lines(r.out)) ++per_box[l.box];
  EXPECT_EQ(per_box[20], 8u);  // instance 0, every block gives function 0
  EXPECT_EQ(per_box[19], 3u);
}

}  // namespace
}  // namespace boardsim
