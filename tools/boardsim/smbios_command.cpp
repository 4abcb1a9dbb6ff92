// `boardsim smbios`: runs the SMBIOS driver on a board, prints the table and the run summary.
#include "tools/boardsim/smbios_command.h"

#include <fstream>

#include "firmware/fv/module_volume.h"
#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "sim/board/captures/smbios_dump_writer.h"
#include "sim/board/nvram_boot.h"
#include "sim/dxe/hii_report.h"
#include "sim/dxe/nvram_file.h"
#include "sim/image/driver_image_run.h"
#include "sim/image/volume_dispatch.h"
#include "smbios/entry/driver_entry.h"
#include "smbios/entry/driver_state.h"
#include "tools/boardsim/mac_source.h"
#include "tools/boardsim/run_report.h"
#include "tools/boardsim/table_printer.h"
#include "uefi/pi_ffs_file.h"

namespace boardsim {

using sim::BuildDmiDump;
using sim::EntryPointKind;

namespace {

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes, std::ostream& err) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) {
    err << "boardsim smbios: cannot write --dump-bin file " << path
        << " (check the directory exists and is writable)\n";
    return false;
  }
  return true;
}

}  // namespace

int RunSmbiosCommand(const SmbiosOptions& options, std::ostream& out, std::ostream& err) {
  if (options.entry_point != 2 && options.entry_point != 3) {
    err << "boardsim smbios: --entry-point " << options.entry_point << " is not supported (use 2 or 3)\n";
    return 2;
  }
  sim::Board board;
  try {
    board = options.board_file ? sim::LoadBoardFile(*options.board_file) : sim::DefaultBoard();
  } catch (const sim::BoardFileError& e) {
    err << "boardsim smbios: " << e.what() << "\n";
    return 2;
  }

  // The driver: the host-linked one, or a built image run in the CPU emulator.
  std::unique_ptr<sim::EmulatedDriver> image_driver;
  sim::DriverEntry entry = &PlatformSmbiosDriverEntry;
  if (options.image) {
    std::string error;
    image_driver = sim::EmulatedDriver::Load(*options.image, error);
    if (!image_driver) {
      err << "boardsim smbios: --image " << error << "\n";
      return 2;
    }
    entry = image_driver->Entry();
  }
  if (options.fv) {
    if (options.image) {
      err << "boardsim smbios: --image and --fv both name a driver to run; give one\n";
      return 2;
    }
    std::string error;
    std::unique_ptr<sim::LoadedVolume> volume = sim::LoadVolumeFile(*options.fv, error);
    std::optional<fv::ModuleFile> module;
    if (volume) module = sim::FindVolumeModule(*volume, fv::DriverFileGuid(), EFI_FV_FILETYPE_DRIVER, error);
    if (!module) {
      err << "boardsim smbios: --fv " << error << "\n";
      return 2;
    }
    // The dispatcher's question, asked of the board's platform before anything runs on it.
    std::string refusal;
    {
      sim::DxePlatform probe;
      sim::ApplyBoard(board, probe);
      refusal = sim::DxeDispatchRefusal(*module, probe.Protocols());
    }
    if (!refusal.empty()) {
      err << "boardsim smbios: --fv " << *options.fv << ": " << refusal << "\n";
      return 1;
    }
    image_driver = sim::EmulatedDriver::LoadBytes(module->image, *options.fv + ": driver file", error);
    if (!image_driver) {
      err << "boardsim smbios: --fv " << error << "\n";
      return 2;
    }
    image_driver->SetFileGuid(module->file->name);
    entry = image_driver->Entry();
  }
  const std::string published = options.fv      ? ", published by the driver file of volume " + *options.fv
                                : options.image ? ", published by image " + *options.image
                                                : std::string();

  DriverStateReset();  // a fresh load of the driver
  sim::BootedBoard booted;
  try {
    booted = sim::BootBoardWithNvram(board, entry, options.nvram);
  } catch (const sim::NvramFileError& e) {
    err << "boardsim smbios: --nvram " << e.what() << "\n";
    return 2;
  }
  std::vector<sim::SmbiosRecordView> records = booted.platform->Smbios().Records();

  out << "SMBIOS table of board \"" << board.name << "\" (" << (board.source.empty() ? "built in" : board.source) << ")"
      << published << ": " << records.size() << " records\n\n";
  PrintTable(out, records);
  out << "Onboard MAC address source: " << DescribeMacSource(board) << "\n\n";
  if (!image_driver) {  // the host-linked driver's module state holds the image it loaded
    out << sim::DescribeSetupImage(sim::PlatformVariableStore(*booted.platform), DriverSetupConfiguration(),
                                   SetupConfigurationSize)
        << "\n";
  }
  if (options.hii) out << sim::DescribeHiiPackageLists(booted.platform->Hii()) << "\n";
  PrintSummary(out, booted.result);

  int status = 0;
  if (options.dump_bin) {
    EntryPointKind kind = options.entry_point == 2 ? EntryPointKind::Smbios21 : EntryPointKind::Smbios30;
    if (!WriteFile(*options.dump_bin, BuildDmiDump(records, kind), err)) status = 2;
    else
      out << "Dump written to " << *options.dump_bin << " (SMBIOS "
          << (kind == EntryPointKind::Smbios21 ? "2.1" : "3.0") << " entry point)\n";
  }
  std::vector<std::string> failures = RunFailures(booted.result.summary);
  for (const auto& reason : failures) err << "boardsim smbios: FAILED: " << reason << "\n";
  if (!failures.empty() && status == 0) status = 1;
  return status;
}

}  // namespace boardsim
