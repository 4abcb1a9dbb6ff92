// The DXE platform's services as an emulated driver may call them: the argument rules of every service the
// driver's tables and interfaces hold, and the lending of what they hand out.
#include "sim/image/dxe_service_catalog.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "sim/common/hex_text.h"
#include "sim/dxe/unimplemented_service.h"
#include "uefi/protocols/device_path.h"
#include "uefi/protocols/hii_database.h"
#include "uefi/protocols/ipmi_transport.h"
#include "uefi/protocols/loaded_image.h"
#include "uefi/protocols/pcd.h"
#include "uefi/protocols/pci_io.h"
#include "uefi/protocols/platform_callback_registry.h"
#include "uefi/protocols/smbios.h"
#include "uefi/protocols/smm_base2.h"

namespace sim {

namespace {

constexpr size_t kGuid = sizeof(EFI_GUID);
constexpr unsigned kGuidAlign = alignof(EFI_GUID);
constexpr size_t kPointer = sizeof(void*);
constexpr size_t kTimeCapabilities = 12;  // Resolution, Accuracy, SetsToZero (padded)
constexpr size_t kLongestDevicePath = 4096;

ServiceRule Service(std::string name, std::vector<PointerRule> pointers) {
  return {std::move(name), std::move(pointers)};
}
ServiceRule Member(std::string name, const EFI_GUID& guid, std::vector<PointerRule> pointers) {
  ServiceRule r{std::move(name), std::move(pointers)};
  r.self = guid;
  return r;
}
ServiceRule Lends(ServiceRule rule, AfterCall after, unsigned guid = 0, unsigned out = 0) {
  rule.after = after;
  rule.guid = guid;
  rule.out = out;
  return rule;
}

// One function member of a table or interface and its rule.
struct Slot {
  size_t offset;
  ServiceRule rule;
};

// A protocol whose layout the catalogue knows: its size, its function members with rules, and which other
// pointer-sized members are functions (stand-ins, or members that read only This when `untyped_take_this`).
struct ProtocolLayout {
  EFI_GUID guid;
  const char* name;
  size_t size;
  std::vector<Slot> typed;
  std::vector<size_t> untyped;
  bool untyped_take_this = false;
};

std::vector<size_t> Offsets(size_t first, size_t end) {
  std::vector<size_t> v;
  for (size_t at = first; at < end; at += kPointer) v.push_back(at);
  return v;
}

const std::vector<ProtocolLayout>& Layouts() {
  static const std::vector<ProtocolLayout> layouts = [] {
    const EFI_GUID smbios = EFI_SMBIOS_PROTOCOL_GUID, pcd = PCD_PROTOCOL_GUID, hii = EFI_HII_DATABASE_PROTOCOL_GUID;
    const EFI_GUID registry = PLATFORM_CALLBACK_REGISTRY_GUID, ipmi = IPMI_TRANSPORT_PROTOCOL_GUID;
    const EFI_GUID pci = EFI_PCI_IO_PROTOCOL_GUID, smm = EFI_SMM_BASE2_PROTOCOL_GUID;
    const EFI_GUID loaded = EFI_LOADED_IMAGE_PROTOCOL_GUID;
    std::vector<ProtocolLayout> v;
    v.push_back(
        {smbios,
         "the SMBIOS protocol",
         sizeof(EFI_SMBIOS_PROTOCOL),
         {{offsetof(EFI_SMBIOS_PROTOCOL, Add),
           Member("Smbios.Add", smbios, {Out(2, "SmbiosHandle", 2), Text(3, "Record", ExtentKind::kSmbiosRecord)})},
          {offsetof(EFI_SMBIOS_PROTOCOL, UpdateString),
           Member("Smbios.UpdateString", smbios,
                  {In(1, "SmbiosHandle", 2), In(2, "StringNumber", 8), Text(3, "String", ExtentKind::kString8)})},
          {offsetof(EFI_SMBIOS_PROTOCOL, Remove), Member("Smbios.Remove", smbios, {})},
          {offsetof(EFI_SMBIOS_PROTOCOL, GetNext),
           Member("Smbios.GetNext", smbios,
                  {Out(1, "SmbiosHandle", 2), In(2, "Type", 1, true), Out(3, "Record", kPointer),
                   Out(4, "ProducerHandle", kPointer, true)})}},
         {}});
    ProtocolLayout pcd_layout{pcd, "the PCD protocol", sizeof(PCD_PROTOCOL), {}, {}};
    const char* getters[] = {"Pcd.SetSku", "Pcd.Get8",   "Pcd.Get16",   "Pcd.Get32",
                             "Pcd.Get64",  "Pcd.GetPtr", "Pcd.GetBool", "Pcd.GetSize"};
    for (size_t i = 0; i < 8; ++i) {
      ServiceRule r = Service(getters[i], {});
      if (i == 5) r = Lends(r, AfterCall::kLendPcdPointer);
      pcd_layout.typed.push_back({i * kPointer, r});
    }
    pcd_layout.untyped = Offsets(8 * kPointer, sizeof(PCD_PROTOCOL));
    v.push_back(pcd_layout);
    v.push_back({hii,
                 "the HII database protocol",
                 sizeof(EFI_HII_DATABASE_PROTOCOL),
                 {{offsetof(EFI_HII_DATABASE_PROTOCOL, NewPackageList),
                   Member("Hii.NewPackageList", hii,
                          {Text(1, "PackageList", ExtentKind::kPackageList), Out(3, "Handle", kPointer)})}},
                 Offsets(kPointer, sizeof(EFI_HII_DATABASE_PROTOCOL))});
    v.push_back({registry,
                 "the platform callback registry",
                 sizeof(PLATFORM_CALLBACK_REGISTRY),
                 {{offsetof(PLATFORM_CALLBACK_REGISTRY, Register),
                   Member("Registry.Register", registry,
                          {In(1, "Key", kGuid, true, kGuidAlign), Sized(2, "Record", false, 3, true)})}},
                 Offsets(0, offsetof(PLATFORM_CALLBACK_REGISTRY, Register))});
    v.push_back({ipmi,
                 "the IPMI transport protocol",
                 sizeof(IPMI_TRANSPORT_PROTOCOL),
                 {{offsetof(IPMI_TRANSPORT_PROTOCOL, SendIpmiCommand),
                   Member("Ipmi.SendIpmiCommand", ipmi,
                          {Sized(4, "RequestData", false, 5, false, 1), Out(7, "ResponseDataSize", 4),
                           Through(6, "ResponseData", true, 7, 4)})}},
                 {offsetof(IPMI_TRANSPORT_PROTOCOL, GetBmcStatus)}});
    ProtocolLayout pci_layout{pci, "a PCI I/O protocol instance", sizeof(EFI_PCI_IO_PROTOCOL), {}, {}, true};
    pci_layout.typed = {{offsetof(EFI_PCI_IO_PROTOCOL, Pci.Read),
                         Member("PciIo.Pci.Read", pci, {{4, "Buffer", true, false, ExtentKind::kElements, 3, 1}})},
                        {offsetof(EFI_PCI_IO_PROTOCOL, Pci.Write),
                         Member("PciIo.Pci.Write", pci, {{4, "Buffer", false, false, ExtentKind::kElements, 3, 1}})},
                        {offsetof(EFI_PCI_IO_PROTOCOL, GetLocation),
                         Member("PciIo.GetLocation", pci,
                                {Out(1, "SegmentNumber", 8, true), Out(2, "BusNumber", 8, true),
                                 Out(3, "DeviceNumber", 8, true), Out(4, "FunctionNumber", 8, true)})}};
    for (size_t at : Offsets(0, offsetof(EFI_PCI_IO_PROTOCOL, RomSize))) {
      if (at != offsetof(EFI_PCI_IO_PROTOCOL, Pci.Read) && at != offsetof(EFI_PCI_IO_PROTOCOL, Pci.Write) &&
          at != offsetof(EFI_PCI_IO_PROTOCOL, GetLocation))
        pci_layout.untyped.push_back(at);
    }
    v.push_back(pci_layout);
    v.push_back(
        {smm,
         "the SMM Base2 protocol",
         sizeof(EFI_SMM_BASE2_PROTOCOL),
         {{offsetof(EFI_SMM_BASE2_PROTOCOL, InSmm), Member("SmmBase2.InSmm", smm, {Out(1, "InSmram", 1, true)})},
          {offsetof(EFI_SMM_BASE2_PROTOCOL, GetSmstLocation),
           Lends(Member("SmmBase2.GetSmstLocation", smm, {Out(1, "Smst", kPointer, true)}), AfterCall::kLendSmst, 0,
                 1)}},
         {}});
    v.push_back({loaded,
                 "the loaded-image protocol",
                 sizeof(EFI_LOADED_IMAGE_PROTOCOL),
                 {},
                 {offsetof(EFI_LOADED_IMAGE_PROTOCOL, Unload)}});
    return v;
  }();
  return layouts;
}

const ProtocolLayout* LayoutOf(const EFI_GUID& guid) {
  for (const ProtocolLayout& l : Layouts()) {
    if (std::memcmp(&l.guid, &guid, sizeof guid) == 0) return &l;
  }
  return nullptr;
}

std::vector<Slot> BootServiceSlots() {
  using B = EFI_BOOT_SERVICES;
  return {
      {offsetof(B, AllocatePool), Service("BootServices.AllocatePool", {Out(2, "Buffer", kPointer, true)})},
      {offsetof(B, FreePool), Service("BootServices.FreePool", {})},
      {offsetof(B, InstallProtocolInterface),
       Service("BootServices.InstallProtocolInterface",
               {Out(0, "Handle", kPointer, true), In(1, "Protocol", kGuid, true, kGuidAlign)})},
      {offsetof(B, UninstallProtocolInterface),
       Service("BootServices.UninstallProtocolInterface", {In(1, "Protocol", kGuid, true, kGuidAlign)})},
      {offsetof(B, HandleProtocol),
       Lends(Service("BootServices.HandleProtocol",
                     {In(1, "Protocol", kGuid, true, kGuidAlign), Out(2, "Interface", kPointer, true)}),
             AfterCall::kLendInterface, 1, 2)},
      {offsetof(B, LocateHandleBuffer),
       Service("BootServices.LocateHandleBuffer", {In(1, "Protocol", kGuid, true, kGuidAlign),
                                                   Out(3, "NoHandles", 8, true), Out(4, "Buffer", kPointer, true)})},
      {offsetof(B, LocateProtocol),
       Lends(Service("BootServices.LocateProtocol",
                     {In(0, "Protocol", kGuid, true, kGuidAlign), Out(2, "Interface", kPointer, true)}),
             AfterCall::kLendInterface, 0, 2)},
      {offsetof(B, Stall), Service("BootServices.Stall", {})},
      {offsetof(B, CopyMem),
       Service("BootServices.CopyMem", {Sized(0, "Destination", true, 2), Sized(1, "Source", false, 2)})},
      {offsetof(B, SetMem), Service("BootServices.SetMem", {Sized(0, "Buffer", true, 1)})},
  };
}

std::vector<Slot> RuntimeServiceSlots() {
  using R = EFI_RUNTIME_SERVICES;
  return {
      {offsetof(R, GetTime),
       Service("RuntimeServices.GetTime", {Out(0, "Time", sizeof(EFI_TIME), true, alignof(EFI_TIME)),
                                           Out(1, "Capabilities", kTimeCapabilities, true, 4)})},
      {offsetof(R, GetVariable),
       Service("RuntimeServices.GetVariable",
               {Text(0, "VariableName", ExtentKind::kString16, true), In(1, "VendorGuid", kGuid, true, kGuidAlign),
                Out(2, "Attributes", 4, true), Out(3, "DataSize", 8, true), Through(4, "Data", true, 3, 8, true)})},
      {offsetof(R, SetVariable),
       Service("RuntimeServices.SetVariable",
               {Text(0, "VariableName", ExtentKind::kString16, true), In(1, "VendorGuid", kGuid, true, kGuidAlign),
                Sized(4, "Data", false, 3, true)})},
  };
}

std::vector<Slot> SmstSlots() {
  using S = EFI_SMM_SYSTEM_TABLE2;
  return {{offsetof(S, SmmAllocatePool), Service("Smst.SmmAllocatePool", {Out(2, "Buffer", kPointer, true)})},
          {offsetof(S, SmmFreePool), Service("Smst.SmmFreePool", {})}};
}

size_t DevicePathSize(const EFI_DEVICE_PATH_PROTOCOL* path) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(path);
  size_t at = 0;
  while (at + 4 <= kLongestDevicePath) {
    const size_t length = bytes[at + 2] | (bytes[at + 3] << 8);
    if (bytes[at] == END_DEVICE_PATH_TYPE || length < 4) return at + 4;
    at += length;
  }
  return at;
}

uint64_t Address(const void* p) { return reinterpret_cast<uintptr_t>(p); }

}  // namespace

DxeServiceCatalog::DxeServiceCatalog(DxePlatform& platform, GuestReach& reach) : platform_(platform), reach_(reach) {
  EFI_SYSTEM_TABLE* st = platform.SystemTable();
  reach.Lend(Address(st), sizeof *st, false, "the system table");
  if (st->FirmwareVendor != nullptr) {
    size_t n = 0;
    while (st->FirmwareVendor[n] != 0) ++n;
    reach.Lend(Address(st->FirmwareVendor), 2 * (n + 1), false, "the firmware vendor string");
  }
  auto table = [&](void* t, size_t size, const char* name, std::vector<Slot> typed) {
    reach.Lend(Address(t), size, false, name);
    for (Slot& s : typed) {
      const size_t offset = s.offset;
      AddFunction(t, offset, std::move(s.rule));
    }
    for (size_t at = sizeof(EFI_TABLE_HEADER); at < size; at += kPointer) {
      void* fn = nullptr;
      std::memcpy(&fn, static_cast<uint8_t*>(t) + at, kPointer);
      if (const char* stand_in = UnimplementedServiceName(fn)) {
        if (!rules_.count(Address(fn))) AddFunction(t, at, Service(stand_in, {}));
      }
    }
  };
  table(platform.BootServices(), sizeof(EFI_BOOT_SERVICES), "the boot services table", BootServiceSlots());
  table(platform.RuntimeServices(), sizeof(EFI_RUNTIME_SERVICES), "the runtime services table", RuntimeServiceSlots());
  const EFI_GUID loaded = EFI_LOADED_IMAGE_PROTOCOL_GUID;
  LendInterface(loaded, platform.LoadedImage());

  PoolAllocator& pool = platform.Pool();
  // Asked on every guest access to a buffer or record: the name only when a message needs it.
  reach.AddSource([&pool](uint64_t address, bool named) -> std::optional<ReachRegion> {
    size_t to_end = 0;
    const std::optional<PoolBuffer> b = pool.Find(reinterpret_cast<const void*>(address), &to_end);
    if (!b) return std::nullopt;
    return ReachRegion{address, address + to_end, true,
                       named ? "pool buffer #" + std::to_string(b->number) : std::string(),
                       reinterpret_cast<const uint8_t*>(address)};
  });
  SmbiosTable& smbios = platform.Smbios();
  reach.AddSource([&smbios](uint64_t address, bool named) -> std::optional<ReachRegion> {
    size_t size = 0;
    const uint8_t* record = smbios.RecordHolding(reinterpret_cast<const void*>(address), &size);
    if (record == nullptr) return std::nullopt;
    return ReachRegion{Address(record), Address(record) + size, true,
                       named ? "an SMBIOS record of the table" : std::string(), record};
  });
}

void DxeServiceCatalog::AddFunction(const void* table, size_t offset, ServiceRule rule) {
  void* fn = nullptr;
  std::memcpy(&fn, static_cast<const uint8_t*>(table) + offset, kPointer);
  if (fn == nullptr) return;
  rules_.try_emplace(Address(fn), std::move(rule));
}

void DxeServiceCatalog::LendInterface(const EFI_GUID& guid, const void* interface) {
  const ProtocolLayout* layout = LayoutOf(guid);
  if (layout == nullptr || interface == nullptr) return;
  const uint64_t at = Address(interface);
  // An interface in memory the image already reaches is its own (installed by it): its function pointers are
  // the image's to choose, so they are never catalogued as services.
  if (interfaces_.count(at) || reach_.Find(at)) return;
  interfaces_[at] = guid;
  reach_.Lend(at, layout->size, false, layout->name);
  for (const Slot& s : layout->typed) AddFunction(interface, s.offset, s.rule);
  for (size_t offset : layout->untyped) {
    void* fn = nullptr;
    std::memcpy(&fn, static_cast<const uint8_t*>(interface) + offset, kPointer);
    if (fn == nullptr || rules_.count(Address(fn))) continue;
    if (const char* stand_in = UnimplementedServiceName(fn)) {
      rules_[Address(fn)] = Service(stand_in, {});
    } else if (layout->untyped_take_this) {
      rules_[Address(fn)] =
          Member(std::string(layout->name) + " member " + std::to_string(offset / kPointer), guid, {});
    }
  }
  const EFI_GUID loaded = EFI_LOADED_IMAGE_PROTOCOL_GUID;
  if (std::memcmp(&guid, &loaded, sizeof guid) == 0) {
    const auto* li = static_cast<const EFI_LOADED_IMAGE_PROTOCOL*>(interface);
    if (li->FilePath != nullptr)
      reach_.Lend(Address(li->FilePath), DevicePathSize(li->FilePath), false, "the loaded image's file path");
  }
}

bool DxeServiceCatalog::IsService(uint64_t function) const { return rules_.count(function) != 0; }

const ServiceRule* DxeServiceCatalog::Rule(uint64_t function) const {
  auto it = rules_.find(function);
  return it == rules_.end() ? nullptr : &it->second;
}

bool DxeServiceCatalog::IsInterface(uint64_t address, const EFI_GUID& guid) const {
  auto it = interfaces_.find(address);
  return it != interfaces_.end() && std::memcmp(&it->second, &guid, sizeof guid) == 0;
}

uint64_t DxeServiceCatalog::Call(uint64_t function, const TrapCall& call, std::string& refusal) {
  const ServiceRule* rule = Rule(function);
  if (rule == nullptr) {
    refusal = "the image called host code at " + Hex(function) + ", which is no service the platform handed it";
    return 0;
  }
  const ServiceRule copy = *rule;  // the call may catalogue more services
  refusal = CheckServiceCall(
      copy, [&call](unsigned i) { return call.Arg(i); }, reach_,
      [this](uint64_t address, const EFI_GUID& guid) { return IsInterface(address, guid); });
  if (!refusal.empty()) return 0;
  const uint64_t result = ImageMachine::CallHostFunction(reinterpret_cast<const void*>(function), call);
  After(copy, call, result);
  return result;
}

void DxeServiceCatalog::After(const ServiceRule& rule, const TrapCall& call, uint64_t result) {
  switch (rule.after) {
    case AfterCall::kNothing: return;
    case AfterCall::kLendInterface: {
      EFI_GUID guid;
      uint64_t interface = 0;
      if (EFI_ERROR(result) || !reach_.Read(call.Arg(rule.guid), &guid, sizeof guid) ||
          !reach_.Read(call.Arg(rule.out), &interface, sizeof interface))
        return;
      LendInterface(guid, reinterpret_cast<const void*>(interface));
      return;
    }
    case AfterCall::kLendSmst: {
      uint64_t smst = 0;
      if (EFI_ERROR(result) || !reach_.Read(call.Arg(rule.out), &smst, sizeof smst) || smst == 0) return;
      if (reach_.Find(smst)) return;
      reach_.Lend(smst, sizeof(EFI_SMM_SYSTEM_TABLE2), false, "the SMM system table");
      const void* table = reinterpret_cast<const void*>(smst);
      for (const Slot& s : SmstSlots()) AddFunction(table, s.offset, s.rule);
      for (size_t at = sizeof(EFI_TABLE_HEADER); at + kPointer <= sizeof(EFI_SMM_SYSTEM_TABLE2); at += kPointer) {
        void* fn = nullptr;
        std::memcpy(&fn, static_cast<const uint8_t*>(table) + at, kPointer);
        if (const char* stand_in = UnimplementedServiceName(fn)) rules_.try_emplace(Address(fn), Service(stand_in, {}));
      }
      return;
    }
    case AfterCall::kLendPcdPointer: {
      if (result == 0) return;
      const size_t size = platform_.Pcd().PointerValueSize(reinterpret_cast<const void*>(result));
      if (size != 0 && !reach_.Find(result)) reach_.Lend(result, size, false, "a PCD pointer value");
      return;
    }
  }
}

}  // namespace sim
