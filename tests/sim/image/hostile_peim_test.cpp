// Hostile PEI images: the services table's LocatePpi called with pointers outside what the image was lent is
// refused naming the service, the argument and the call; the host's PPI database is never asked. Images written
// with PeimCode (as the hostile-guest harness writes them), from a file or executing in place from a volume: a
// store into flash or into host memory it was not lent, and a listener at a wild address, each stop the call with
// a violation and touch nothing.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <cstring>
#include <memory>
#include <string>

#include "firmware/fv/module_file.h"
#include "firmware/fv/module_volume.h"
#include "firmware/fv/volume_reader.h"
#include "sim/common/hex_text.h"
#include "sim/common/host_pages.h"
#include "sim/image/peim_image_run.h"
#include "sim/image/placed_image.h"
#include "sim/image/volume_dispatch.h"
#include "tests/sim/image/guest_code.h"
#include "tests/sim/image/peim_code.h"
#include "tests/sim/image/synthetic_pe.h"
#include "uefi/pi_ffs_file.h"
#include "uefi/protocols/report_status_code_handler_ppi.h"
#include "uefi/status.h"
#include "uefi/system_table.h"

namespace {

// LocatePpi(PeiServices, Guid, 0, Descriptor, Ppi) from the entry point (FileHandle, PeiServices): the GUID and
// the Ppi out-pointer as given (0 for Ppi: a stack slot), the descriptor null.
std::vector<uint8_t> LocatePpiImage(uint32_t guid, uint32_t ppi) {
  simtest::SyntheticPe pe;
  pe.text = {0x8B, 0x44, 0x24, 0x08,  // mov eax, [esp + 8]: PeiServices
             0x83, 0xEC, 0x04,        // sub esp, 4: the stack slot
             0x89, 0xE1};             // mov ecx, esp
  if (ppi == 0) {
    pe.text.push_back(0x51);  // push ecx
  } else {
    pe.text.push_back(0x68);  // push imm32
    simtest::Append(pe.text, simtest::Le(ppi, 4));
  }
  simtest::Append(pe.text, {0x6A, 0x00, 0x6A, 0x00, 0x68});  // push 0 (Descriptor), push 0 (Instance), push Guid
  pe.text_fixups = {static_cast<uint32_t>(pe.text.size())};
  simtest::Append(pe.text, simtest::Le(guid, 4));
  simtest::Append(pe.text, {0x50,              // push eax
                            0x8B, 0x00,        // mov eax, [eax]: the table
                            0xFF, 0x50, 0x20,  // call [eax + 0x20]: LocatePpi
                            0x83, 0xC4, 0x18,  // add esp, 24
                            0xC3});
  pe.rdata = std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(&gEfiPeiRscHandlerPpiGuid),
                                  reinterpret_cast<const uint8_t*>(&gEfiPeiRscHandlerPpiGuid) + 16);
  pe.data = {0};
  return simtest::BuildPe(pe);
}

struct PeimOutcome {
  EFI_STATUS status;
  std::string violations;
  uint64_t locate_calls;
};

PeimOutcome RunEntry(uint32_t guid, uint32_t ppi) {
  sim::TracePlatform platform;
  sim::PlaceResult placed = sim::PlaceImage(LocatePpiImage(guid, ppi));
  EXPECT_TRUE(placed.image) << placed.error;
  if (!placed.image) return {EFI_ABORTED, "", 0};
  std::string error;
  std::unique_ptr<sim::PeimImageRun> run =
      sim::PeimImageRun::CreatePlaced(platform, std::move(placed.image), "", error);
  EXPECT_NE(run, nullptr) << error;
  if (!run) return {EFI_ABORTED, error, 0};
  PeimOutcome out{run->RunEntry(), "", platform.pei().ppis().LocateCalls(gEfiPeiRscHandlerPpiGuid)};
  for (const std::string& v : platform.violations().Messages()) out.violations += v + "\n";
  return out;
}

constexpr uint32_t kRdataGuid = 0x10002000;  // .rdata at the link address: the image's own GUID

TEST(HostilePeim, LocatePpiWithTheImagesOwnGuidAndAStackSlotSucceeds) {
  const PeimOutcome out = RunEntry(kRdataGuid, 0);
  EXPECT_EQ(out.status, EFI_SUCCESS) << out.violations;
  EXPECT_EQ(out.locate_calls, 1u);
}

TEST(HostilePeim, LocatePpiWithAWildGuidIsRefusedNamingServiceArgumentAndCall) {
  const PeimOutcome out = RunEntry(0x10, 0);
  EXPECT_EQ(out.status, EFI_ABORTED);
  EXPECT_NE(out.violations.find("PEI service LocatePpi: argument 1 (Guid, 16 bytes read) 0x10: 0x10 lies in nothing "
                                "the platform lent the image; the call at 0x1000"),
            std::string::npos)
      << out.violations;
  EXPECT_EQ(out.locate_calls, 0u);
}

TEST(HostilePeim, LocatePpiWritingThePpiIntoTheImagesFlashIsRefused) {
  const PeimOutcome out = RunEntry(kRdataGuid, kRdataGuid);
  EXPECT_EQ(out.status, EFI_ABORTED);
  EXPECT_NE(out.violations.find("PEI service LocatePpi: argument 4 (Ppi, 4 bytes written) 0x10002000: 0x10002000 "
                                "lies in the image, which the image may only read"),
            std::string::npos)
      << out.violations;
}

// A PeimCode image run from its file or from a volume in flash (which `flash` keeps), entry then one progress code.
struct CodeRun {
  EFI_STATUS entry = EFI_SUCCESS;
  std::vector<EFI_STATUS> listeners;
  std::string violations;
};

CodeRun RunCode(const simtest::PeimCode& code, bool from_volume) {
  sim::TracePlatform platform;
  std::string error;
  std::unique_ptr<sim::FlashVolume> flash;
  std::unique_ptr<sim::PeimImageRun> run;
  if (from_volume) {
    const fv::ModuleVolume volume =
        fv::BuildModuleVolume(simtest::DriverCode().Build(), code.Build(true), fv::kModuleVolumeBase, error);
    EXPECT_FALSE(volume.bytes.empty()) << error;
    const fv::VolumeReadResult read = fv::ReadVolume(volume.bytes);
    EXPECT_TRUE(read.volume.has_value()) << read.error;
    if (!read.volume) return {};
    std::optional<fv::ModuleFile> module =
        fv::FindModule(*read.volume, fv::PeimFileGuid(), EFI_FV_FILETYPE_PEIM, error);
    EXPECT_TRUE(module.has_value()) << error;
    if (!module) return {};
    flash = sim::FlashVolume::Create(volume.bytes, fv::kModuleVolumeBase, error);
    EXPECT_NE(flash, nullptr) << error;
    if (!flash) return {};
    run = sim::CreateVolumePeim(platform, *flash, *module, "", error);
  } else {
    sim::PlaceResult placed = sim::PlaceImage(code.Build());
    EXPECT_TRUE(placed.image) << placed.error;
    if (!placed.image) return {};
    run = sim::PeimImageRun::CreatePlaced(platform, std::move(placed.image), "", error);
  }
  EXPECT_NE(run, nullptr) << error;
  if (!run) return {};
  CodeRun out;
  out.entry = run->RunEntry();
  out.listeners = run->Report(EFI_PROGRESS_CODE, 0x03020000);
  for (const std::string& v : platform.violations().Messages()) out.violations += v + "\n";
  return out;
}

TEST(HostilePeim, AnImageExecutingInPlaceThatStoresIntoItsFlashIsStoppedNamingTheFlash) {
  simtest::PeimCode code;
  code.MoveToEax(static_cast<uint32_t>(fv::kModuleVolumeBase) + 0x40);  // the volume's header
  code.StoreToEax(0xFFFFFFFF);
  const CodeRun run = RunCode(code, true);
  EXPECT_EQ(run.entry, EFI_ABORTED);
  EXPECT_NE(run.violations.find("PEI image, entry point: the image wrote 4 bytes (value 0xFFFFFFFF) to 0xFFF00040 in "
                                "the firmware volume (flash), which is read-only"),
            std::string::npos)
      << run.violations;
}

TEST(HostilePeim, AStoreIntoHostMemoryBelow4GiBItWasNotLentIsStoppedAndChangesNothing) {
  auto* page = static_cast<uint8_t*>(sim::MapBelow4GiB(4096));
  ASSERT_NE(page, nullptr);
  std::memset(page, 0x5A, 4096);
  const uint32_t at = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(page)) + 0x100;
  for (bool from_volume : {false, true}) {
    SCOPED_TRACE(from_volume ? "from a volume" : "from its file");
    simtest::PeimCode code;
    code.MoveToEax(at);
    code.StoreToEax(0x11223344);
    const CodeRun run = RunCode(code, from_volume);
    EXPECT_EQ(run.entry, EFI_ABORTED);
    EXPECT_NE(
        run.violations.find("the image wrote 4 bytes (value 0x11223344) to " + sim::Hex(at) + ", which nothing maps"),
        std::string::npos)
        << run.violations;
    EXPECT_EQ(page[0x100], 0x5A);
  }
  munmap(page, 4096);
}

// Listeners the image registers that are no listener of its own: a wild address faults when called; a PEI
// service's trap slot runs as that service (which this PEI core lacks) and returns its error. Both are reported.
TEST(HostilePeim, ListenersThatAreNoneOfItsCodeAreCalledSafelyAndReported) {
  struct Row {
    const char* what;
    bool service_slot;  // the InstallPpi slot of the services table, else 0xDEADBEEF
    EFI_STATUS listener_status;
    const char* violation;
  };
  const Row rows[] = {
      {"a wild address", false, EFI_ABORTED,
       "PEI image, listener for code type 0x1: the image executed at 0xDEADBEEF, outside its code"},
      {"a service's trap slot", true, EFI_UNSUPPORTED,
       "PEI service InstallPpi called by the PEI image; the simulated PEI core does not provide it"},
  };
  for (const Row& row : rows) {
    for (bool from_volume : {false, true}) {
      SCOPED_TRACE(std::string(row.what) + (from_volume ? ", from a volume" : ", from its file"));
      simtest::PeimCode code;
      if (row.service_slot) {
        code.LoadServicesMember(sizeof(EFI_TABLE_HEADER));  // InstallPpi
        code.PushEax();
      } else {
        code.PushValue(0xDEADBEEF);
      }
      code.LocatePpiInto(code.Guid(gEfiPeiRscHandlerPpiGuid), 0);
      code.LoadMember(0);  // Register
      code.CallEax();
      code.Drop(1);
      const CodeRun run = RunCode(code, from_volume);
      EXPECT_EQ(run.entry, EFI_SUCCESS) << run.violations;
      EXPECT_EQ(run.listeners, std::vector<EFI_STATUS>{row.listener_status});
      EXPECT_NE(run.violations.find(row.violation), std::string::npos) << run.violations;
    }
  }
}

}  // namespace
