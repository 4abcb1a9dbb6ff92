// Device configuration spaces and VPD images through the slot, additional-information, onboard-device, MAC
// and system-UUID paths: a fuzzed set of PCI functions (root ports, bridges, endpoints with any IDs and
// classes, VPD capabilities with any image, delay or none at all, raw bytes poked over the rendered space),
// a fuzzed or default socket/stack layout, slot entries, a type 1 record and an optional allocation failure.
// Invariants (the simulator's checks): no access outside a device, every published record well formed, no
// pool leak or guard damage, and one type 9 record per slot unless an allocation failed.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/support/dxe_run.h"
#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "sim/dxe/pcd_store.h"
#include "sim/dxe/smbios_record_check.h"
#include "sim/pci/pci_platform.h"
#include "sim/pci/pci_spec_builders.h"
#include "sim/pci/socket_bus_layout.h"
#include "sim/pci/vpd_image.h"
#include "smbios/records/onboard_devices.h"
#include "smbios/records/slot_record.h"
#include "smbios/records/system_uuid.h"

namespace {

constexpr uint64_t kEcam = 0x80000000;
constexpr uint64_t kNicBar = 0xC0000000;
constexpr uint64_t kNicBarSize = 0x200000;

// Stack buses of socket 0 in the default layout; secondaries below them.
constexpr uint8_t kStack1 = 0x16, kStack2 = 0x30, kStack3 = 0x40;
const sim::PciLocation kLocations[] = {
    {0, kStack1, 0, 0}, {0, kStack1, 2, 0}, {0, kStack2, 0, 0}, {0, kStack2, 2, 0}, {0, kStack3, 3, 0},
    {0, 0, 0x1C, 4},    {0, 0, 0x1C, 5},    {0, 0x17, 0, 0},    {0, 0x18, 0, 0},    {0, 0x31, 0, 0},
    {0, 0x41, 0, 0},    {0, 0x41, 0, 1},    {0, 0x50, 0, 0},    {0, 0x51, 0, 0},
};
const uint8_t kSecondaries[] = {0x17, 0x18, 0x31, 0x41, 0x50, 0x51};

// The network controller's registers behind its BAR: fuzzed bytes.
class NicRegisters : public sim::MmioRegion {
 public:
  explicit NicRegisters(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  uint64_t Read(uint64_t offset, unsigned width) override {
    uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i) v |= static_cast<uint64_t>(Byte(offset + i)) << (8 * i);
    return v;
  }
  void Write(uint64_t, unsigned, uint64_t) override {}

 private:
  uint8_t Byte(uint64_t offset) const { return bytes_.empty() ? 0 : bytes_[offset % bytes_.size()]; }
  std::vector<uint8_t> bytes_;
};

sim::PciLocation Location(fuzz::FuzzInput& in) {
  uint8_t pick = in.U8();
  if (pick < 0xF0) return kLocations[pick % (sizeof kLocations / sizeof kLocations[0])];
  return {0, in.U8(), static_cast<uint8_t>(in.U8() & 0x1F), static_cast<uint8_t>(in.U8() & 7)};
}

std::vector<uint8_t> VpdImage(fuzz::FuzzInput& in) {
  if (in.Bit()) return in.Sized16(1200);
  sim::VpdImageSpec spec;
  if (in.Bit()) {
    auto id = in.Sized(80);
    spec.identifier = std::string(id.begin(), id.end());
  }
  const char* names[] = {"PN", "SN", "V2", "VB", "YA", "EC", "MN", "V1"};
  for (size_t n = in.U8() % 4; n > 0; --n) spec.read_only.push_back({names[in.U8() % 8], in.Sized(60)});
  for (size_t n = in.U8() % 4; n > 0; --n) spec.writable.push_back({names[in.U8() % 8], in.Sized(60)});
  spec.end_tag = in.U8() != 0xFF;
  return sim::EncodeVpdImage(spec);
}

sim::PciFunctionSpec Function(fuzz::FuzzInput& in, bool* poked, bool* nic_bar) {
  sim::PciLocation at = Location(in);
  uint8_t kind = in.U8() % 4;
  sim::PciFunctionSpec spec;
  if (kind == 0) {
    uint8_t secondary = kSecondaries[in.U8() % sizeof kSecondaries];
    spec = sim::RootPortSpec(at, secondary, static_cast<uint8_t>(secondary + in.U8() % 3), in.Bit());
  } else if (kind == 1) {
    uint8_t secondary = kSecondaries[in.U8() % sizeof kSecondaries];
    spec = sim::BridgeSpec(at, secondary, secondary);
  } else {
    const uint32_t classes[] = {0x020000, 0x030000, 0x010802, 0x120000, 0x020800};
    uint16_t vendor = in.Bit() ? 0x7A3B : in.U16();
    uint16_t device = in.U16();
    uint8_t class_pick = in.U8();
    uint32_t class_code = class_pick < 0xF0 ? classes[class_pick % 5] : in.U32() & 0xFFFFFF;
    uint16_t subsystem_vendor = in.Bit() ? 0x1E6D : in.U16();
    spec = sim::EndpointSpec(at, vendor, device, class_code, subsystem_vendor, in.U16());
    if (in.Bit()) sim::WithVpd(spec, VpdImage(in), in.U8() * 10ull, in.U8() == 0xFF);
    if ((class_code >> 8) == 0x0200 && in.Bit()) {
      // A 64-bit memory BAR at the register block the harness maps.
      spec.pokes.push_back({0x10, {0x04, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00}});
      *nic_bar = true;
    }
  }
  for (size_t n = in.U8() % 4; n > 0; --n) {
    // Any bytes anywhere but the BAR pair: an address there would send the driver's reads to no device.
    uint16_t offset = in.U16() % 4096;
    std::vector<uint8_t> bytes = in.Sized(8);
    if (offset + bytes.size() > 0x10 && offset < 0x18) continue;
    if (offset + bytes.size() > 4096) bytes.resize(4096 - offset);
    spec.pokes.push_back({offset, bytes});
    *poked = true;
  }
  return spec;
}

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
  gDriver.EcamBase = kEcam;

  std::vector<uint8_t> layout;
  if (in.U8() == 0xFF) {
    layout = in.Bytes(sizeof gDriver.SocketBusLayout);
  } else {
    sim::SocketBusLayoutSpec spec;
    spec.valid = in.U8() != 0xFE;
    sim::SocketLayoutSpec socket;
    socket.stack_bus[1] = kStack1;
    socket.stack_bus[2] = kStack2;
    socket.stack_bus[3] = kStack3;
    spec.sockets[0] = socket;
    layout = sim::RenderSocketBusLayout(spec);
  }
  layout.resize(sizeof gDriver.SocketBusLayout, 0);
  std::memcpy(&gDriver.SocketBusLayout, layout.data(), layout.size());

  bool poked = false, nic_bar = false;
  std::vector<sim::PciFunctionSpec> specs;
  for (size_t n = in.U8() % 8; n > 0; --n) specs.push_back(Function(in, &poked, &nic_bar));
  try {
    sim::AttachPci(platform, specs, kEcam);
  } catch (const std::invalid_argument&) {
    return 0;  // not a board (two functions at one place, bus ranges that overlap)
  }
  if (nic_bar) {
    auto& nic = platform.Keep(std::make_shared<NicRegisters>(in.Sized(64)));
    platform.Bus().Map(kNicBar, kNicBarSize, &nic, "network controller registers");
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
  if (poked) tolerated.push_back("ignored, as hardware does");
  sim::RunSummary summary = fuzz::RequireCleanRun(platform, tolerated);
  if (!failing) {
    auto nine = summary.records_by_type.find(9);
    size_t count = nine == summary.records_by_type.end() ? 0 : nine->second;
    FUZZ_REQUIRE(count == slots.size(), std::to_string(count) + " type 9 records for " + std::to_string(slots.size()) + " slots");
  }
  return 0;
}
