// Images linked over a platform window, through boardsim: the driver (`smbios --image`, `smbios --fv`) is placed
// elsewhere and relocated and prints the host-linked driver's table; the PEI module (`trace --image`,
// `trace --fv`), which executes in place, is refused naming the window, and nothing runs. Never an abort, also
// when a window lies where the emulator's own memory would otherwise be.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "firmware/fv/module_volume.h"
#include "firmware/fv/pe_rebase.h"
#include "sim/board/board_file.h"
#include "sim/image/placed_image.h"
#include "sim/pei/trace_platform.h"
#include "tools/boardsim/smbios_command.h"
#include "tools/boardsim/trace_command.h"

namespace {

#if defined(DXE_IMAGE) && defined(PEI_IMAGE) && defined(MODULE_VOLUME)
std::vector<uint8_t> ReadBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A temporary file removed with the object.
class TempFile {
 public:
  TempFile(const std::vector<uint8_t>& bytes, const std::string& name)
      : path_(std::filesystem::temp_directory_path() / (name + "_" + std::to_string(getpid()))) {
    std::ofstream(path_, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  ~TempFile() { std::filesystem::remove(path_); }
  std::string path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

std::vector<uint8_t> LinkedAt(const char* image, uint64_t base) {
  std::vector<uint8_t> bytes = ReadBytes(image);
  std::string error;
  EXPECT_TRUE(fv::RebaseImage(bytes, base, error)) << error;
  return bytes;
}

std::string TablePart(const std::string& text) {
  const size_t from = text.find("Handle 0x");
  const size_t to = text.find("Onboard MAC address source");
  return from == std::string::npos || to == std::string::npos ? std::string() : text.substr(from, to - from);
}

// The default board's DXE windows a driver may be linked over: its configuration window, the onboard network
// controller's memory BAR, and the flash.
struct DxeWindow {
  const char* name;
  uint64_t base;
};
const DxeWindow kDxeWindows[] = {{"PCI configuration window", 0x80000000},
                                 {"memory BAR of the onboard network controller", 0xA0000000},
                                 {"flash", fv::kModuleVolumeBase}};

TEST(ImagePlacement, ADriverLinkedOverAWindowRunsRelocatedThroughImageAndVolume) {
  std::ostringstream host_out, host_err;
  ASSERT_EQ(boardsim::RunSmbiosCommand({}, host_out, host_err), 0) << host_err.str();
  const std::string host_table = TablePart(host_out.str());
  ASSERT_NE(host_table, "");
  for (const DxeWindow& w : kDxeWindows) {
    SCOPED_TRACE(w.name);
    const std::vector<uint8_t> driver = LinkedAt(DXE_IMAGE, w.base);
    const TempFile image(driver, "driver_over_window.efi");
    std::string error;
    const fv::ModuleVolume volume = fv::BuildModuleVolume(driver, ReadBytes(PEI_IMAGE), fv::kModuleVolumeBase, error);
    ASSERT_FALSE(volume.bytes.empty()) << error;
    const TempFile fv_file(volume.bytes, "driver_over_window.fv");
    for (bool from_volume : {false, true}) {
      SCOPED_TRACE(from_volume ? "--fv" : "--image");
      boardsim::SmbiosOptions options;
      (from_volume ? options.fv : options.image) = from_volume ? fv_file.path() : image.path();
      std::ostringstream out, err;
      EXPECT_EQ(boardsim::RunSmbiosCommand(options, out, err), 0) << err.str();
      EXPECT_EQ(TablePart(out.str()), host_table);
    }
  }
}

// Every window of the trace platform's bus; a PEI image linked at its base, and a volume built for it.
TEST(ImagePlacement, APeimLinkedOverAWindowIsRefusedNamingItThroughImageAndVolume) {
  const sim::TracePlatformConfig config = boardsim::TracePlatformOf({}, 0);
  std::vector<sim::ReservedRange> windows;
  {
    sim::TracePlatform probe(config);
    windows = sim::BusRanges(probe.pei().bus());
  }
  ASSERT_EQ(windows.size(), 3u);  // the configuration window, the PMC's registers, the trace-hub window
  for (const sim::ReservedRange& w : windows) {
    SCOPED_TRACE(w.name);
    const TempFile image(LinkedAt(PEI_IMAGE, w.base), "peim_over_window.efi");
    boardsim::TraceOptions options;
    options.image_file = image.path();
    std::ostringstream out, err;
    EXPECT_EQ(boardsim::RunTraceCommand(options, out, err), boardsim::kTraceBadInput);
    EXPECT_NE(err.str().find("over the platform's " + w.name), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("cannot be moved"), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "");

    // The volume built for the window's base: its PEI module is linked inside the window.
    std::string error;
    const fv::ModuleVolume volume =
        fv::BuildModuleVolume(ReadBytes(DXE_IMAGE), ReadBytes(PEI_IMAGE), w.base & ~0xFFFull, error);
    ASSERT_FALSE(volume.bytes.empty()) << error;
    const TempFile fv_file(volume.bytes, "peim_over_window.fv");
    boardsim::TraceOptions from_volume;
    from_volume.fv_file = fv_file.path();
    std::ostringstream fv_out, fv_err;
    EXPECT_EQ(boardsim::RunTraceCommand(from_volume, fv_out, fv_err), boardsim::kTraceBadInput);
    EXPECT_NE(fv_err.str().find("over the platform's " + w.name), std::string::npos) << fv_err.str();
    EXPECT_EQ(fv_out.str(), "");
  }
}

// Boards whose configuration window sits low, over where the emulator's and the PEI platform's below-4-GiB memory
// lands when nothing is in the way: both images, from a file and from the volume, complete and print what the
// host-linked modules print.
TEST(ImagePlacement, BothImagesRunOnBoardsWithALowConfigurationWindowAsTheHostLinkedModulesDo) {
  for (const char* base : {"0x40000000", "0x30000000", "0x20000000", "0x60000000"}) {
    SCOPED_TRACE(base);
    std::string text = sim::DefaultBoardText();
    const size_t at = text.find("ecam_base: 0x80000000");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, std::strlen("ecam_base: 0x80000000"), std::string("ecam_base: ") + base);
    const TempFile board(std::vector<uint8_t>(text.begin(), text.end()), std::string("low_window_") + base + ".yaml");

    boardsim::SmbiosOptions host;
    host.board_file = board.path();
    std::ostringstream host_out, host_err;
    ASSERT_EQ(boardsim::RunSmbiosCommand(host, host_out, host_err), 0) << host_err.str();
    ASSERT_NE(TablePart(host_out.str()), "");
    boardsim::TraceOptions trace_host;
    trace_host.board_file = board.path();
    std::ostringstream trace_host_out, trace_host_err;
    ASSERT_EQ(boardsim::RunTraceCommand(trace_host, trace_host_out, trace_host_err), 0) << trace_host_err.str();
    for (bool from_volume : {false, true}) {
      SCOPED_TRACE(from_volume ? "--fv" : "--image");
      boardsim::SmbiosOptions smbios = host;
      (from_volume ? smbios.fv : smbios.image) = from_volume ? MODULE_VOLUME : DXE_IMAGE;
      std::ostringstream out, err;
      EXPECT_EQ(boardsim::RunSmbiosCommand(smbios, out, err), 0) << err.str();
      EXPECT_EQ(TablePart(out.str()), TablePart(host_out.str()));
      boardsim::TraceOptions trace = trace_host;
      (from_volume ? trace.fv_file : trace.image_file) = from_volume ? MODULE_VOLUME : PEI_IMAGE;
      std::ostringstream trace_out, trace_err;
      EXPECT_EQ(boardsim::RunTraceCommand(trace, trace_out, trace_err), 0) << trace_err.str();
      EXPECT_EQ(trace_out.str(), trace_host_out.str());
    }
  }
}

TEST(ImagePlacement, AVolumeOverAWindowIsRefusedNamingIt) {
  // A board whose configuration window lies where the volume executes in place.
  const std::string board =
      (std::filesystem::temp_directory_path() / ("window_on_flash_" + std::to_string(getpid()) + ".yaml")).string();
  std::ofstream(board) << "name: window_on_flash\npcd:\n  ecam_base: 0xFFF00000\n";
  boardsim::TraceOptions options;
  options.board_file = board;
  options.fv_file = MODULE_VOLUME;
  std::ostringstream out, err;
  EXPECT_EQ(boardsim::RunTraceCommand(options, out, err), boardsim::kTraceBadInput);
  EXPECT_NE(err.str().find("the volume at 0xFFF00000 overlaps the platform's PCI configuration window"),
            std::string::npos)
      << err.str();
  EXPECT_EQ(out.str(), "");
  std::filesystem::remove(board);
}
#else
TEST(ImagePlacement, NeedsTheBuiltImages) { GTEST_SKIP() << "the firmware images are not part of this build"; }
#endif

}  // namespace
