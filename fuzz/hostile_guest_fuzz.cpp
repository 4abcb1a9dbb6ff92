// Hostile guests: a driver image whose entry point is generated from the input (random instruction bytes, calls
// through the boot and runtime services and the platform's protocols with random arguments, wild jumps and
// calls, loads and stores at wild addresses, writes into its own code, endless loops), booted on the default
// board in the emulator. Invariant: the host never crashes or hangs (the sanitizers and a small instruction
// budget watch that), and every call into the image that does not complete has a fault reported as a violation.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "sim/image/driver_image_run.h"
#include "tests/sim/image/guest_code.h"
#include "uefi/protocols/hii_database.h"
#include "uefi/protocols/ipmi_transport.h"
#include "uefi/protocols/loaded_image.h"
#include "uefi/protocols/pcd.h"
#include "uefi/protocols/pci_io.h"
#include "uefi/protocols/platform_callback_registry.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  const std::vector<uint8_t> image = Generator(in).Build();
  std::string error;
  std::unique_ptr<sim::EmulatedDriver> driver = sim::EmulatedDriver::LoadBytes(image, "hostile guest", error);
  FUZZ_REQUIRE(driver != nullptr, error);
  driver->SetInstructionBudget(kBudget);
  const sim::BootedBoard booted = sim::BootBoard(sim::DefaultBoard(), driver->Entry());
  const std::vector<std::string>& violations = booted.result.summary.violations;
  for (const sim::GuestCallResult& call : driver->Calls()) {
    if (call.completed) continue;
    FUZZ_REQUIRE(!call.fault.empty(), "a call into the image ended without a reason");
    bool reported = false;
    for (const std::string& v : violations) reported = reported || v.find(call.fault) != std::string::npos;
    FUZZ_REQUIRE(reported, "the fault was not reported: " + call.fault);
  }
  FUZZ_REQUIRE(g_host_word == 0x600D, "the image reached host memory or code it was not lent");
  return 0;
}
