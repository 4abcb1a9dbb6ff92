// Hostile guests, generated from the input and run in the emulator. Invariant: the host never crashes or hangs
// (the sanitizers and a small instruction budget watch that), every call into the image that does not complete
// has a fault reported as a violation, and host memory the guest was never lent stays as it was.
// - A driver image (x86-64) whose entry point is random instruction bytes, calls through the boot and runtime
//   services and the platform's protocols with random arguments, wild jumps and calls, loads and stores at wild
//   addresses, writes into its own code, endless loops, booted on the default board.
// - An input whose first byte is 0xC0 or more: a PEI image (IA-32, executing in place) whose entry point makes
//   PEI service and PPI calls with random arguments, registers listeners (its own code or wild addresses), jumps
//   wildly, loads and stores anywhere (its flash, the windows, host memory below 4 GiB), spins; on a trace platform
//   whose configuration window sits at one of several addresses, placed from its file or dispatched from a volume,
//   then handed two status codes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "firmware/fv/module_file.h"
#include "firmware/fv/module_volume.h"
#include "firmware/fv/volume_reader.h"
#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "sim/common/host_pages.h"
#include "sim/image/driver_image_run.h"
#include "sim/image/peim_image_run.h"
#include "sim/image/volume_dispatch.h"
#include "sim/pei/trace_hub_devices.h"
#include "tests/sim/image/guest_code.h"
#include "tests/sim/image/peim_code.h"
#include "uefi/pei_services.h"
#include "uefi/pi_ffs_file.h"
#include "uefi/protocols/hii_database.h"
#include "uefi/protocols/ipmi_transport.h"
#include "uefi/protocols/loaded_image.h"
#include "uefi/protocols/pcd.h"
#include "uefi/protocols/pcd_ppi.h"
#include "uefi/protocols/pci_io.h"
#include "uefi/protocols/platform_callback_registry.h"
#include "uefi/protocols/report_status_code_handler_ppi.h"
#include "uefi/protocols/smbios.h"
#include "uefi/protocols/smm_base2.h"
#include "uefi/system_table.h"

namespace {

constexpr uint64_t kBudget = 200'000;
constexpr unsigned kMostSteps = 24;
constexpr unsigned kDataSlots = 8;

// Host memory a guest is never lent, and a host function none is handed.
uint64_t g_host_word = 0x600D;
extern "C" __attribute__((ms_abi)) uint64_t HostFunctionNeverHandedOut() {
  g_host_word = 0xBAD;
  return 0;
}

const EFI_GUID kProtocols[] = {EFI_SMBIOS_PROTOCOL_GUID,       PCD_PROTOCOL_GUID,
                               EFI_HII_DATABASE_PROTOCOL_GUID, PLATFORM_CALLBACK_REGISTRY_GUID,
                               IPMI_TRANSPORT_PROTOCOL_GUID,   EFI_PCI_IO_PROTOCOL_GUID,
                               EFI_SMM_BASE2_PROTOCOL_GUID,    EFI_LOADED_IMAGE_PROTOCOL_GUID};
constexpr unsigned kProtocolCount = sizeof kProtocols / sizeof kProtocols[0];

class Generator {
 public:
  explicit Generator(fuzz::FuzzInput& in) : in_(in) {
    for (unsigned i = 0; i < kProtocolCount; ++i) guids_.push_back(code_.Guid(kProtocols[i]));
    for (unsigned i = 0; i < kProtocolCount; ++i) interfaces_.push_back(code_.Slot());
    for (unsigned i = 0; i < kDataSlots; ++i) slots_.push_back(code_.Slot());
  }

  std::vector<uint8_t> Build() {
    const unsigned steps = in_.Below(kMostSteps) + 1;
    for (unsigned i = 0; i < steps && !in_.Empty(); ++i) Step();
    return code_.Build();
  }

 private:
  // An address or value of one of the kinds a hostile guest tries; `image` tells the caller it needs relocation.
  uint64_t Value(bool& image) {
    image = false;
    switch (in_.Below(8)) {
      case 0: return 0;
      case 1: return in_.U8();
      case 2: image = true; return slots_[in_.Below(kDataSlots)] + in_.Below(16);
      case 3: return in_.U64();
      case 4: return reinterpret_cast<uintptr_t>(&g_host_word);
      case 5: return in_.U16();
      case 6: image = true; return code_.ImageBase() + 0x1000 + in_.U8();  // its own code
      default: return 0xFFFFFFFFFFFFF000ull | in_.U16();
    }
  }
  // Argument `index`: a value, or (registers only) the system table or the last loaded pointer.
  void Argument(unsigned index) {
    if (index < 4) {
      static const std::vector<uint8_t> kFromRbx[4] = {
          {0x48, 0x89, 0xD9}, {0x48, 0x89, 0xDA}, {0x49, 0x89, 0xD8}, {0x49, 0x89, 0xD9}};
      static const std::vector<uint8_t> kFromRax[4] = {
          {0x48, 0x89, 0xC1}, {0x48, 0x89, 0xC2}, {0x49, 0x89, 0xC0}, {0x49, 0x89, 0xC1}};
      const uint8_t kind = in_.Below(8);
      if (kind == 0) return code_.Emit(kFromRbx[index]);
      if (kind == 1) return code_.Emit(kFromRax[index]);
    }
    bool image = false;
    const uint64_t v = Value(image);
    code_.Arg(index, v, image);
  }
  void Arguments(unsigned first) {
    const unsigned n = in_.Below(7);
    for (unsigned i = first; i < n; ++i) Argument(i);
  }

  void Step() {
    switch (in_.Below(9)) {
      case 0: code_.Emit(in_.Sized(12)); break;  // raw bytes: anything at all
      case 1: {                                  // a boot or runtime service
        const bool boot = in_.Bit();
        const unsigned slots =
            ((boot ? sizeof(EFI_BOOT_SERVICES) : sizeof(EFI_RUNTIME_SERVICES)) - sizeof(EFI_TABLE_HEADER)) / 8;
        code_.LoadSystemTableMember(boot ? offsetof(EFI_SYSTEM_TABLE, BootServices)
                                         : offsetof(EFI_SYSTEM_TABLE, RuntimeServices));
        code_.LoadMember(static_cast<uint32_t>(sizeof(EFI_TABLE_HEADER) + 8 * in_.Below(slots)));
        Arguments(0);
        code_.CallRax();
        break;
      }
      case 2: {  // a member of a located protocol, This as located or not
        const unsigned p = in_.Below(kProtocolCount);
        code_.LocateInto(guids_[p], interfaces_[p]);
        if (in_.Bit()) code_.ThisFromRax();
        code_.LoadMember(8 * in_.Below(20));
        Arguments(1);
        code_.CallRax();
        break;
      }
      case 3: {  // a wild jump or call
        bool image = false;
        uint64_t target = in_.Bit() ? reinterpret_cast<uintptr_t>(&HostFunctionNeverHandedOut) : Value(image);
        code_.Emit({0x48, 0xB8});
        code_.Emit(simtest::Le(target, 8));
        (void)image;  // a wild target is not relocated
        code_.Emit(in_.Bit() ? std::vector<uint8_t>{0xFF, 0xD0} : std::vector<uint8_t>{0xFF, 0xE0});
        break;
      }
      case 4:  // a store: to its data, its code (read-only), host memory, anywhere
      case 5: {
        bool image = false;
        const uint64_t at = Value(image);
        code_.LoadFrom(at, image);  // the load itself may fault too
        code_.StoreToRax(in_.U32());
        break;
      }
      case 6: {  // a load through a located interface's member or a table slot
        code_.LoadSystemTableMember(8 * in_.Below(16));
        code_.LoadMember(8 * in_.Below(64));
        break;
      }
      case 7: code_.Emit({0xEB, 0xFE}); break;  // an endless loop
      default: {                                // the service table's entry reached by a jump, not a call
        code_.LoadSystemTableMember(offsetof(EFI_SYSTEM_TABLE, BootServices));
        code_.LoadMember(static_cast<uint32_t>(sizeof(EFI_TABLE_HEADER) + 8 * in_.Below(44)));
        code_.Emit({0xFF, 0xE0});
        break;
      }
    }
  }

  fuzz::FuzzInput& in_;
  simtest::DriverCode code_;
  std::vector<uint64_t> guids_, interfaces_, slots_;
};

// Host memory below 4 GiB that no PEI image is lent: a 32-bit guest can name its address.
constexpr uint8_t kUnlentFill = 0x5A;
uint8_t* UnlentPage() {
  static uint8_t* page = [] {
    auto* p = static_cast<uint8_t*>(sim::MapBelow4GiB(4096));
    if (p != nullptr) std::memset(p, kUnlentFill, 4096);
    return p;
  }();
  return page;
}

constexpr uint64_t kConfigWindowBases[] = {0x80000000, 0x40000000, 0x30000000, 0xC0000000};
constexpr unsigned kPeiServiceSlots = (sizeof(EFI_PEI_SERVICES) - sizeof(EFI_TABLE_HEADER)) / sizeof(void*);
constexpr unsigned kTableHeader = sizeof(EFI_TABLE_HEADER);

const EFI_GUID kPpis[] = {
    gEfiPeiRscHandlerPpiGuid, gPcdPpiGuid, {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}}};
constexpr unsigned kPpiCount = sizeof kPpis / sizeof kPpis[0];

class PeimGenerator {
 public:
  PeimGenerator(fuzz::FuzzInput& in, uint64_t window) : in_(in), window_(static_cast<uint32_t>(window)) {
    for (const EFI_GUID& g : kPpis) guids_.push_back(code_.Guid(g));
  }

  std::vector<uint8_t> Build(bool in_place) {
    const unsigned steps = in_.Below(kMostSteps) + 1;
    for (unsigned i = 0; i < steps && !in_.Empty(); ++i) Step();
    return code_.Build(in_place);
  }

 private:
  // An address or value of one of the kinds a hostile PEIM tries; `image` tells the caller it needs relocation.
  uint32_t Value(bool& image) {
    image = false;
    switch (in_.Below(10)) {
      case 0: return 0;
      case 1: return in_.U8();
      case 2: image = true; return guids_[in_.Below(kPpiCount)] + in_.Below(16);  // its own data (flash)
      case 3: return in_.U32();
      case 4: return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(UnlentPage())) + in_.Below(64) * 4;
      case 5: return static_cast<uint32_t>(fv::kModuleVolumeBase) + in_.U16();  // the flash volume
      case 6: return window_ + (static_cast<uint32_t>(in_.U16()) << 4);         // the configuration window
      case 7: return static_cast<uint32_t>(sim::kTraceHubWindowBase) + in_.U16();
      case 8: image = true; return code_.Code(in_.U8());  // its own code
      default: return 0xFFFFF000u | in_.U16();
    }
  }
  // Pushes `count` arguments, the last first: values, the services pointer, a stack slot's address.
  void Arguments(unsigned count) {
    for (unsigned i = count; i-- > 0;) {
      switch (in_.Below(4)) {
        case 0: code_.PushServices(); break;
        case 1: code_.PushSlotAddress(in_.Below(simtest::PeimCode::kSlots)); break;
        default: {
          bool image = false;
          const uint32_t v = Value(image);
          code_.PushValue(v, image);
        }
      }
    }
  }

  void Step() {
    switch (in_.Below(10)) {
      case 0: code_.Emit(in_.Sized(12)); break;  // raw bytes: anything at all
      case 1: {                                  // a PEI service (or the word past the table)
        const unsigned n = in_.Below(7);
        Arguments(n);
        code_.LoadServicesMember(kTableHeader + 4 * in_.Below(kPeiServiceSlots + 2));
        code_.CallEax();
        code_.Drop(n);
        break;
      }
      case 2: {  // a PPI member, the PPI as located (or 0)
        code_.LocatePpiInto(guids_[in_.Below(kPpiCount)], in_.Below(simtest::PeimCode::kSlots));
        code_.LoadMember(4 * in_.Below(40));
        const unsigned n = in_.Below(6);
        // EAX holds the member: the pushes leave it alone.
        Arguments(n);
        code_.CallEax();
        code_.Drop(n);
        break;
      }
      case 3: {  // a listener registered: its own code or a wild address
        code_.LocatePpiInto(guids_[0], in_.Below(simtest::PeimCode::kSlots));
        code_.LoadMember(4 * in_.Below(2));  // Register or Unregister
        bool image = in_.Bit();
        const uint32_t callback = image ? code_.Code(in_.U8()) : Value(image);
        code_.PushValue(callback, image);
        code_.CallEax();
        code_.Drop(1);
        break;
      }
      case 4: {  // a wild jump or call
        bool image = false;
        const uint32_t target = Value(image);
        code_.MoveToEax(target, image);
        if (in_.Bit()) {
          code_.CallEax();
        } else {
          code_.JumpEax();
        }
        break;
      }
      case 5:  // a store: to its flash, a window, host memory, anywhere
      case 6: {
        bool image = false;
        const uint32_t at = Value(image);
        code_.MoveToEax(at, image);
        code_.StoreToEax(in_.U32());
        break;
      }
      case 7: {  // a load
        bool image = false;
        const uint32_t at = Value(image);
        code_.LoadFrom(at, image);
        break;
      }
      case 8: code_.Emit({0xEB, 0xFE}); break;  // an endless loop
      default: {                                // the services table through the IDT, a member jumped to
        code_.Emit({0x0F, 0x01, 0x4D, 0xC8, 0x8B, 0x45, 0xCA, 0x8B, 0x40, 0xFC, 0x8B, 0x00});  // sidt; eax = [[idt-4]]
        code_.LoadMember(kTableHeader + 4 * in_.Below(kPeiServiceSlots));
        code_.JumpEax();
        break;
      }
    }
  }

  fuzz::FuzzInput& in_;
  uint32_t window_;
  simtest::PeimCode code_;
  std::vector<uint32_t> guids_;
};

// Every call into the image that did not complete has its fault among the violations.
void RequireFaultsReported(const std::vector<sim::GuestCallResult>& calls, const std::vector<std::string>& violations) {
  for (const sim::GuestCallResult& call : calls) {
    if (call.completed) continue;
    FUZZ_REQUIRE(!call.fault.empty(), "a call into the image ended without a reason");
    bool reported = false;
    for (const std::string& v : violations) reported = reported || v.find(call.fault) != std::string::npos;
    FUZZ_REQUIRE(reported, "the fault was not reported: " + call.fault);
  }
}

void RunPeim(fuzz::FuzzInput& in) {
  const uint64_t window = kConfigWindowBases[in.Below(4)];
  const bool from_volume = in.Bit();
  const std::vector<uint8_t> image = PeimGenerator(in, window).Build(from_volume);
  sim::TracePlatformConfig config;
  config.pei.default_mmcfg_base = window;
  config.pei.mcfg_table.entries = {sim::McfgEntryConfig{window}};
  config.pei.config_windows[0].base = window;
  sim::TracePlatform platform(config);
  std::string error;
  std::unique_ptr<sim::FlashVolume> flash;  // outlives the run that executes from it
  std::unique_ptr<sim::PeimImageRun> run;
  if (from_volume) {
    const fv::ModuleVolume volume =
        fv::BuildModuleVolume(simtest::DriverCode().Build(), image, fv::kModuleVolumeBase, error);
    FUZZ_REQUIRE(!volume.bytes.empty(), error);
    const fv::VolumeReadResult read = fv::ReadVolume(volume.bytes);
    FUZZ_REQUIRE(read.volume.has_value(), read.error);
    const std::optional<fv::ModuleFile> module =
        fv::FindModule(*read.volume, fv::PeimFileGuid(), EFI_FV_FILETYPE_PEIM, error);
    FUZZ_REQUIRE(module.has_value(), error);
    flash = sim::FlashVolume::Create(volume.bytes, fv::kModuleVolumeBase, error);
    FUZZ_REQUIRE(flash != nullptr, error);
    // The module found in the volume's bytes, which the flash copy holds at the same offsets.
    run = sim::CreateVolumePeim(platform, *flash, *module, "", error);
  } else {
    sim::PlaceResult placed = sim::PlaceImage(image, std::nullopt, sim::BusRanges(platform.pei().bus()));
    FUZZ_REQUIRE(placed.image != nullptr, placed.error);
    run = sim::PeimImageRun::CreatePlaced(platform, std::move(placed.image), "", error);
  }
  FUZZ_REQUIRE(run != nullptr, error);
  run->Machine().SetInstructionBudget(kBudget);
  std::vector<sim::GuestCallResult> calls;
  run->RunEntry();
  calls.insert(calls.end(), run->LastCalls().begin(), run->LastCalls().end());
  // Whatever listeners it registered get a progress code and a debug record.
  run->Report(EFI_PROGRESS_CODE, 0x03020000);
  calls.insert(calls.end(), run->LastCalls().begin(), run->LastCalls().end());
  run->Report(EFI_DEBUG_CODE, 0, 0, nullptr,
              platform.records().Debug(0x40, "hostile %d\n", {sim::DebugArgument::Int32(1)}));
  calls.insert(calls.end(), run->LastCalls().begin(), run->LastCalls().end());
  RequireFaultsReported(calls, platform.violations().Messages());
  for (size_t i = 0; i < 4096; ++i)
    FUZZ_REQUIRE(UnlentPage()[i] == kUnlentFill, "the image wrote host memory below 4 GiB it was not lent");
}

void RunDriver(fuzz::FuzzInput& in) {
  const std::vector<uint8_t> image = Generator(in).Build();
  std::string error;
  std::unique_ptr<sim::EmulatedDriver> driver = sim::EmulatedDriver::LoadBytes(image, "hostile guest", error);
  FUZZ_REQUIRE(driver != nullptr, error);
  driver->SetInstructionBudget(kBudget);
  const sim::BootedBoard booted = sim::BootBoard(sim::DefaultBoard(), driver->Entry());
  RequireFaultsReported(driver->Calls(), booted.result.summary.violations);
  FUZZ_REQUIRE(g_host_word == 0x600D, "the image reached host memory or code it was not lent");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  if (size > 0 && data[0] >= 0xC0) {
    in.U8();
    RunPeim(in);
  } else {
    RunDriver(in);
  }
  return 0;
}
