// Capturing a machine from its sysfs: what is read, what is cut to a capture size, and the notes saying what
// could not be read and why (on a made-up tree, and as a user without root on this machine).
#include "tools/boardsim/machine_capture.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "tests/tools/boardsim/scratch_dir.h"

namespace {

using boardsim_test::ScratchDir;

// A header with the capability pointer at 0x40 and a VPD capability there (ID 3, no next).
std::vector<uint8_t> ConfigWithVpd(size_t size) {
  std::vector<uint8_t> config(size, 0);
  config[0] = 0x86;
  config[1] = 0x80;
  config[0x06] = 0x10;  // capabilities list
  config[0x34] = 0x40;
  config[0x40] = 0x03;
  return config;
}

bool HasNote(const boardsim::MachineCapture& capture, const std::string& part) {
  return std::any_of(capture.notes.begin(), capture.notes.end(),
                     [&](const std::string& note) { return note.find(part) != std::string::npos; });
}

std::string Notes(const boardsim::MachineCapture& capture) {
  std::string out;
  for (const std::string& note : capture.notes) out += note + "\n";
  return out;
}

TEST(MachineCapture, TakesEveryFunctionInLocationOrderCutToACaptureSize) {
  ScratchDir root("capture_tree");
  const std::string devices = "sys/bus/pci/devices/";
  root.Write(devices + "0000:17:00.0/config", std::vector<uint8_t>(5000, 0xAB));  // more than a space
  root.Write(devices + "0000:00:1c.4/config", std::vector<uint8_t>(300, 0x11));
  root.Write(devices + "0001:00:00.0/config", std::vector<uint8_t>(100, 0x22));
  root.Write(devices + "0000:00:00.0/config", std::vector<uint8_t>(64, 0x33));
  const boardsim::MachineCapture capture = boardsim::CaptureMachine(root.Path(), true);
  ASSERT_EQ(capture.functions.size(), 4u) << Notes(capture);
  EXPECT_EQ(capture.functions[0].at, (sim::PciLocation{0, 0x00, 0x00, 0}));
  EXPECT_EQ(capture.functions[0].config, std::vector<uint8_t>(64, 0x33));
  EXPECT_EQ(capture.functions[1].at, (sim::PciLocation{0, 0x00, 0x1C, 4}));
  EXPECT_EQ(capture.functions[1].config, std::vector<uint8_t>(256, 0x11));
  EXPECT_EQ(capture.functions[2].at, (sim::PciLocation{0, 0x17, 0x00, 0}));
  EXPECT_EQ(capture.functions[2].config, std::vector<uint8_t>(4096, 0xAB));
  EXPECT_EQ(capture.functions[3].at, (sim::PciLocation{1, 0x00, 0x00, 0}));
  EXPECT_EQ(capture.functions[3].config.size(), 64u);
  // The files held more than was kept: each says so.
  EXPECT_TRUE(HasNote(capture, "0000:00:1c.4: configuration space: 256 of 300 bytes read")) << Notes(capture);
  EXPECT_TRUE(HasNote(capture, "0001:00:00.0: configuration space: 64 of 100 bytes read")) << Notes(capture);
}

TEST(MachineCapture, AFunctionWithoutAUsableSpaceIsLeftOutWithTheReason) {
  ScratchDir root("capture_tree");
  const std::string devices = "sys/bus/pci/devices/";
  root.Write(devices + "0000:00:01.0/config", std::vector<uint8_t>(63, 0));            // one byte short
  std::filesystem::create_directories(root.Path() / devices / "0000:00:02.0/config");  // read fails
  root.Write(devices + "0000:00:03.0/config", std::vector<uint8_t>(64, 0));            // the bound itself
  root.Write(devices + "not-a-function/config", std::vector<uint8_t>(64, 0));
  const boardsim::MachineCapture capture = boardsim::CaptureMachine(root.Path(), true);
  ASSERT_EQ(capture.functions.size(), 1u) << Notes(capture);
  EXPECT_EQ(capture.functions[0].at.device, 3);
  EXPECT_TRUE(HasNote(capture, "0000:00:01.0: configuration space unreadable (63 bytes returned, 64 needed)"))
      << Notes(capture);
  EXPECT_TRUE(HasNote(capture, "0000:00:02.0: configuration space unreadable (Is a directory)")) << Notes(capture);
  EXPECT_TRUE(HasNote(capture, "not-a-function: not a PCI function name")) << Notes(capture);
}

TEST(MachineCapture, KeepsVpdOnlyBehindAVpdCapability) {
  ScratchDir root("capture_tree");
  const std::string devices = "sys/bus/pci/devices/";
  const std::vector<uint8_t> vpd = {0x82, 0x02, 0x00, 'N', 'A', 0x78};
  root.Write(devices + "0000:17:00.0/config", ConfigWithVpd(256));
  root.Write(devices + "0000:17:00.0/vpd", vpd);
  root.Write(devices + "0000:18:00.0/config", std::vector<uint8_t>(256, 0));  // no capability list
  root.Write(devices + "0000:18:00.0/vpd", vpd);
  root.Write(devices + "0000:19:00.0/config", ConfigWithVpd(256));
  root.Write(devices + "0000:19:00.0/vpd", {});  // the device answered nothing
  root.Write(devices + "0000:1a:00.0/config", ConfigWithVpd(256));
  std::filesystem::create_directories(root.Path() / devices / "0000:1a:00.0/vpd");  // read fails
  const boardsim::MachineCapture capture = boardsim::CaptureMachine(root.Path(), true);
  ASSERT_EQ(capture.functions.size(), 4u) << Notes(capture);
  EXPECT_EQ(capture.functions[0].vpd, vpd);
  EXPECT_TRUE(capture.functions[1].vpd.empty());
  EXPECT_TRUE(HasNote(capture, "0000:18:00.0: VPD read, but the captured configuration bytes show no VPD"))
      << Notes(capture);
  EXPECT_TRUE(HasNote(capture, "0000:19:00.0: VPD unreadable (the device returned no bytes)")) << Notes(capture);
  EXPECT_TRUE(HasNote(capture, "0000:1a:00.0: VPD unreadable (Is a directory)")) << Notes(capture);
}

TEST(MachineCapture, CopiesTheKernelsSmbiosTableAndSaysWhenThereIsNone) {
  ScratchDir with("capture_tree");
  const std::vector<uint8_t> entry = {'_', 'S', 'M', '3', '_', 0x00};
  const std::vector<uint8_t> table = {0x7F, 0x04, 0x00, 0x00, 0x00, 0x00};
  with.Write("sys/firmware/dmi/tables/smbios_entry_point", entry);
  with.Write("sys/firmware/dmi/tables/DMI", table);
  boardsim::MachineCapture capture = boardsim::CaptureMachine(with.Path(), true);
  EXPECT_EQ(capture.dmi_entry_point, entry);
  EXPECT_EQ(capture.dmi_table, table);
  EXPECT_FALSE(HasNote(capture, "SMBIOS")) << Notes(capture);

  ScratchDir without("capture_tree");
  capture = boardsim::CaptureMachine(without.Path(), true);
  EXPECT_TRUE(capture.dmi_entry_point.empty());
  EXPECT_TRUE(HasNote(capture, "no SMBIOS table: ")) << Notes(capture);
  EXPECT_TRUE(HasNote(capture, "sys/firmware/dmi/tables is missing")) << Notes(capture);
  EXPECT_TRUE(HasNote(capture, "no PCI functions: ")) << Notes(capture);

  ScratchDir half("capture_tree");
  half.Write("sys/firmware/dmi/tables/smbios_entry_point", entry);  // the table itself is missing
  capture = boardsim::CaptureMachine(half.Path(), true);
  EXPECT_TRUE(capture.dmi_entry_point.empty());
  EXPECT_TRUE(HasNote(capture, "tables/DMI unreadable (No such file or directory)")) << Notes(capture);
}

// An MCFG table: header, reserved, then one 16-byte entry per (segment, base).
std::vector<uint8_t> Mcfg(std::vector<std::pair<uint16_t, uint64_t>> entries) {
  std::vector<uint8_t> table(44, 0);
  std::memcpy(table.data(), "MCFG", 4);
  for (const auto& [segment, base] : entries) {
    std::vector<uint8_t> entry(16, 0);
    std::memcpy(entry.data(), &base, 8);
    std::memcpy(entry.data() + 8, &segment, 2);
    entry[11] = 0xFF;  // end bus
    table.insert(table.end(), entry.begin(), entry.end());
  }
  const auto length = static_cast<uint32_t>(table.size());
  std::memcpy(table.data() + 4, &length, 4);
  return table;
}

TEST(McfgSegment0Base, TakesSegment0sEntryWithinTheTablesLength) {
  EXPECT_EQ(boardsim::McfgSegment0Base(Mcfg({{0, 0xE0000000}})), 0xE0000000u);
  EXPECT_EQ(boardsim::McfgSegment0Base(Mcfg({{1, 0xC0000000}, {0, 0x380000000000}})), 0x380000000000u);
  EXPECT_EQ(boardsim::McfgSegment0Base(Mcfg({{1, 0xC0000000}})), std::nullopt);
  EXPECT_EQ(boardsim::McfgSegment0Base(Mcfg({})), std::nullopt);
  std::vector<uint8_t> cut = Mcfg({{0, 0xE0000000}});
  cut.pop_back();  // the entry one byte short of the data
  EXPECT_EQ(boardsim::McfgSegment0Base(cut), std::nullopt);
  std::vector<uint8_t> short_length = Mcfg({{0, 0xE0000000}});
  short_length[4] = 59;  // the length field ends the table one byte into the entry's end
  EXPECT_EQ(boardsim::McfgSegment0Base(short_length), std::nullopt);
  std::vector<uint8_t> other = Mcfg({{0, 0xE0000000}});
  other[0] = 'X';
  EXPECT_EQ(boardsim::McfgSegment0Base(other), std::nullopt);
  EXPECT_EQ(boardsim::McfgSegment0Base({}), std::nullopt);
}

TEST(MachineCapture, TakesTheConfigurationBaseFromMcfgOrSaysWhyNot) {
  ScratchDir root("capture_tree");
  boardsim::MachineCapture capture = boardsim::CaptureMachine(root.Path(), true);
  EXPECT_EQ(capture.ecam_base, std::nullopt);
  EXPECT_TRUE(HasNote(capture, "tables/MCFG missing: the board keeps the default 0x80000000")) << Notes(capture);
  root.Write("sys/firmware/acpi/tables/MCFG", Mcfg({{0, 0xB0000000}}));
  root.Write("proc/sys/kernel/hostname", {'l', 'a', 'b', '\n'});
  capture = boardsim::CaptureMachine(root.Path(), true);
  EXPECT_EQ(capture.ecam_base, 0xB0000000u);
  EXPECT_EQ(capture.host_name, "lab");
}

// This machine's own sysfs read by a user without root (when the test runs as root: a child that gives it
// up): the configuration spaces stop at 64 bytes and the notes say it is for want of root.
TEST(MachineCapture, WithoutRootTheSpacesStopAt64BytesAndTheNotesSayWhy) {
  if (!std::filesystem::is_directory("/sys/bus/pci/devices") || std::filesystem::is_empty("/sys/bus/pci/devices")) {
    GTEST_SKIP() << "this machine shows no PCI functions in /sys/bus/pci/devices";
  }
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipe_fds[0]);
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    const boardsim::MachineCapture capture = boardsim::CaptureMachine("/", false);
    std::string report;
    for (const auto& f : capture.functions) report += "size " + std::to_string(f.config.size()) + "\n";
    for (const std::string& note : capture.notes) report += note + "\n";
    const ssize_t written = ::write(pipe_fds[1], report.data(), report.size());
    ::_exit(written == static_cast<ssize_t>(report.size()) ? 0 : 4);
  }
  ::close(pipe_fds[1]);
  std::string report;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, static_cast<size_t>(n));
  ::close(pipe_fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << report;
  EXPECT_NE(report.find("size 64\n"), std::string::npos) << report;
  EXPECT_EQ(report.find("size 256\n"), std::string::npos) << report;
  EXPECT_EQ(report.find("size 4096\n"), std::string::npos) << report;
  EXPECT_NE(report.find("not root: the kernel gives the bytes past 64 to root only"), std::string::npos) << report;
  if (std::filesystem::is_directory("/sys/firmware/dmi/tables")) {
    EXPECT_NE(report.find("not root: the kernel lets root only read it"), std::string::npos) << report;
  } else {
    EXPECT_NE(report.find("no SMBIOS table: /sys/firmware/dmi/tables is missing"), std::string::npos) << report;
  }
}

}  // namespace
