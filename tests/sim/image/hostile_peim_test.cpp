// Hostile PEI images: the services table's LocatePpi called with pointers outside what the image was lent is
// refused naming the service, the argument and the call; the host's PPI database is never asked.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sim/image/peim_image_run.h"
#include "sim/image/placed_image.h"
#include "tests/sim/image/synthetic_pe.h"
#include "uefi/protocols/report_status_code_handler_ppi.h"
#include "uefi/status.h"

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

}  // namespace
