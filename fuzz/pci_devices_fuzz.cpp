// Device configuration spaces and VPD images through the slot, additional-information, onboard-device, MAC
// and system-UUID paths: a fuzzed set of PCI functions (root ports, bridges, endpoints with any IDs and
// classes, VPD capabilities with any image, delay or none at all, raw bytes poked over the rendered space),
// a fuzzed or default socket/stack layout, slot entries, a type 1 record and an optional allocation failure.
// Invariants (the simulator's checks): no access outside a device, every published record well formed, no
// pool leak or guard damage, and one type 9 record per slot unless an allocation failed.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/support/dxe_run.h"
#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "fuzz/support/pci_inputs.h"
#include "sim/board/pci_platform.h"
#include "sim/dxe/pcd_store.h"
#include "sim/dxe/smbios_record_check.h"
#include "sim/pci/socket_bus_layout.h"
#include "smbios/records/onboard_devices.h"
#include "smbios/records/slot_record.h"
#include "smbios/records/system_uuid.h"

namespace {

constexpr uint64_t kEcam = 0x80000000;

SlotEntry Slot(fuzz::FuzzInput& in) {
  SlotEntry e{};
  e.Stack = in.U8() % 4;
  e.FirstPort = in.U8() % 4;
  e.Socket = in.U8() % 3;
  e.SlotNumber = in.U8();
  e.WidthCode = in.U8() % 4;
  e.SlotIdHigh = in.U16();
  // Board data, not outside input: 1 to 63 printable ASCII characters, as the board's own names are.
  std::vector<uint8_t> name = in.Sized(63);
  if (name.empty()) name.push_back('J');
  for (size_t i = 0; i < name.size(); ++i) e.Designation[i] = static_cast<CHAR16>(0x20 + name[i] % 95);
  return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  sim::DxePlatform platform;
  fuzz::AttachDriver(platform);
  DriverSetEcamBase(kEcam);

  std::vector<uint8_t> layout;
  if (in.U8() == 0xFF) {
    layout = in.Bytes(sizeof(SocketBusLayoutRecord));
  } else {
    sim::SocketBusLayoutSpec spec;
    spec.valid = in.U8() != 0xFE;
    sim::SocketLayoutSpec socket;
    socket.stack_bus[1] = fuzz::kStack1;
    socket.stack_bus[2] = fuzz::kStack2;
    socket.stack_bus[3] = fuzz::kStack3;
    spec.sockets[0] = socket;
    layout = sim::RenderSocketBusLayout(spec);
  }
  layout.resize(sizeof(SocketBusLayoutRecord), 0);
  std::memcpy(DriverSocketBusLayoutForUpdate(), layout.data(), layout.size());

  fuzz::FunctionInputs made;
  std::vector<sim::PciFunctionSpec> specs;
  for (size_t n = in.U8() % 8; n > 0; --n) specs.push_back(fuzz::Function(in, &made));
  try {
    sim::AttachPci(platform, specs, kEcam);
  } catch (const std::invalid_argument&) {
    return 0;  // not a board (two functions at one place, bus ranges that overlap)
  }

  std::vector<SlotEntry> slots;
  for (size_t n = 1 + in.U8() % 2; n > 0; --n) slots.push_back(Slot(in));

  if (in.Bit()) {
    // A System Information record with an empty UUID (length 8 to 27: too short ones are left alone).
    uint8_t length = static_cast<uint8_t>(8 + in.U8() % 20);
    std::vector<uint8_t> formatted(length, 0);
    formatted[0] = 1;
    formatted[1] = length;
    std::vector<uint8_t> bytes = sim::BuildSmbiosRecord(formatted, {});
    EFI_SMBIOS_HANDLE handle = SMBIOS_HANDLE_PI_RESERVED;
    platform.Smbios().Add(&handle, reinterpret_cast<EFI_SMBIOS_TABLE_HEADER*>(bytes.data()));
  }
  platform.Pcd().Set32(sim::kPcdUuidTimestamp, in.U32());
  bool failing = in.U8() == 0xFF;
  if (failing) platform.FailAllocation(1 + in.U8() % 12);

  for (const SlotEntry& slot : slots) BuildSlotRecord(&slot);
  PublishOnboardDevices();
  FillSystemUuid();

  // Pokes can put a capability ID 3 where no VPD registers are: the driver's VPD address write then hits
  // read-only bytes, which the simulator reports (and ignores, as hardware does).
  std::vector<std::string> tolerated;
  if (made.poked) tolerated.push_back("ignored, as hardware does");
  sim::RunSummary summary = fuzz::RequireCleanRun(platform, tolerated);
  if (!failing) {
    auto nine = summary.records_by_type.find(9);
    size_t count = nine == summary.records_by_type.end() ? 0 : nine->second;
    FUZZ_REQUIRE(count == slots.size(),
                 std::to_string(count) + " type 9 records for " + std::to_string(slots.size()) + " slots");
  }
  return 0;
}
