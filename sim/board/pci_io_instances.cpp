// The PCI I/O protocol members of the simulated functions.
#include "sim/board/pci_io_instances.h"

#include <cstdio>
#include <cstring>

namespace sim {

namespace {

PciIoInstance* InstanceOf(EFI_PCI_IO_PROTOCOL* This) { return reinterpret_cast<PciIoInstance*>(This); }

void Report(PciIoInstance* instance, const std::string& message) {
  instance->owner->ViolationSink().Report("PCI I/O of " + instance->function->Describe() + ": " + message);
}

EFI_STATUS EFIAPI PciRead(EFI_PCI_IO_PROTOCOL* This, EFI_PCI_IO_PROTOCOL_WIDTH Width, UINT32 Offset, UINTN Count,
                          VOID* Buffer) {
  PciIoInstance* instance = InstanceOf(This);
  instance->owner->Calls().Bump("PciIo.Pci.Read");
  unsigned width = Width == EfiPciIoWidthUint8    ? 1
                   : Width == EfiPciIoWidthUint16 ? 2
                   : Width == EfiPciIoWidthUint32 ? 4
                                                  : 0;
  if (width == 0) {
    Report(instance, "Pci.Read with width " + std::to_string(Width) + " (the simulator takes Uint8, Uint16, Uint32)");
    return EFI_INVALID_PARAMETER;
  }
  if (Buffer == nullptr) {
    Report(instance, "Pci.Read with a null buffer");
    return EFI_INVALID_PARAMETER;
  }
  if (Offset % width != 0 || Count > kPciConfigSpaceSize || Offset + Count * width > kPciConfigSpaceSize) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "Pci.Read of %zu x %u bytes at 0x%X is misaligned or leaves the 4 KiB space",
                  static_cast<size_t>(Count), width, Offset);
    Report(instance, buf);
    return EFI_UNSUPPORTED;
  }
  const uint32_t end = Offset + static_cast<uint32_t>(Count) * width;
  bool fails = instance->fail_every_read;
  for (uint16_t at : instance->failing_offsets) fails = fails || (at >= Offset && at < end);
  if (fails) {
    instance->owner->Calls().Bump("PciIo.Pci.Read failed");
    return EFI_DEVICE_ERROR;  // the board's fault: nothing is written to the buffer
  }
  auto* out = static_cast<uint8_t*>(Buffer);
  for (UINTN i = 0; i < Count; ++i) {
    uint32_t value = instance->function->Read(static_cast<uint16_t>(Offset + i * width), width);
    std::memcpy(out + i * width, &value, width);
  }
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI PciWrite(EFI_PCI_IO_PROTOCOL* This, EFI_PCI_IO_PROTOCOL_WIDTH, UINT32 Offset, UINTN, VOID*) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "Pci.Write at 0x%X called (not simulated)", Offset);
  Report(InstanceOf(This), buf);
  return EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI GetLocation(EFI_PCI_IO_PROTOCOL* This, UINTN* Segment, UINTN* Bus, UINTN* Device, UINTN* Function) {
  PciIoInstance* instance = InstanceOf(This);
  instance->owner->Calls().Bump("PciIo.GetLocation");
  if (Segment == nullptr || Bus == nullptr || Device == nullptr || Function == nullptr) {
    Report(instance, "GetLocation with a null out-parameter");
    return EFI_INVALID_PARAMETER;
  }
  const PciLocation& l = instance->function->Location();
  *Segment = l.segment;
  *Bus = l.bus;
  *Device = l.device;
  *Function = l.function;
  return EFI_SUCCESS;
}

// Members the driver has no business calling: each names itself in the violation.
constexpr const char* kMemberNames[] = {
    "PollMem", "PollIo",         "Mem.Read",   "Mem.Write", "Io.Read",    "Io.Write",         "CopyMem",         "Map",
    "Unmap",   "AllocateBuffer", "FreeBuffer", "Flush",     "Attributes", "GetBarAttributes", "SetBarAttributes"};

template <int Member>
EFI_STATUS EFIAPI NotSimulated(EFI_PCI_IO_PROTOCOL* This) {
  Report(InstanceOf(This), std::string(kMemberNames[Member]) + " called (not simulated)");
  return EFI_UNSUPPORTED;
}

template <int Member>
EFI_STATUS EFIAPI NotSimulatedAccess(EFI_PCI_IO_PROTOCOL* This, EFI_PCI_IO_PROTOCOL_WIDTH, UINT8, UINT64, UINTN,
                                     VOID*) {
  return NotSimulated<Member>(This);
}

template <int Member>
VOID* Untyped() {
  return reinterpret_cast<VOID*>(&NotSimulated<Member>);
}

template <int Member>
EFI_PCI_IO_PROTOCOL_MEM Access() {
  return &NotSimulatedAccess<Member>;
}

EFI_PCI_IO_PROTOCOL MakeProtocol() {
  EFI_PCI_IO_PROTOCOL p{};
  p.PollMem = Untyped<0>();
  p.PollIo = Untyped<1>();
  p.Mem.Read = Access<2>();
  p.Mem.Write = Access<3>();
  p.Io.Read = Access<4>();
  p.Io.Write = Access<5>();
  p.Pci.Read = &PciRead;
  p.Pci.Write = &PciWrite;
  p.CopyMem = Untyped<6>();
  p.Map = Untyped<7>();
  p.Unmap = Untyped<8>();
  p.AllocateBuffer = Untyped<9>();
  p.FreeBuffer = Untyped<10>();
  p.Flush = Untyped<11>();
  p.GetLocation = &GetLocation;
  p.Attributes = Untyped<12>();
  p.GetBarAttributes = Untyped<13>();
  p.SetBarAttributes = Untyped<14>();
  p.RomSize = 0;
  p.RomImage = nullptr;
  return p;
}

}  // namespace

PciIoInstances::PciIoInstances(PciBus& bus, Violations& violations, CallCounter& calls)
    : violations_(violations), calls_(calls) {
  for (PciFunction* f : bus.EnumerationOrder()) {
    instances_.push_back(PciIoInstance{MakeProtocol(), f, this, false, {}});
  }
}

void PciIoInstances::Install(ProtocolDatabase& protocols) {
  const EFI_GUID guid = EFI_PCI_IO_PROTOCOL_GUID;
  for (PciIoInstance& instance : instances_) {
    const PciLocation& l = instance.function->Location();
    handles_[l] = protocols.InstallOnNewHandle(guid, &instance.protocol, "PciIo " + ToString(l));
  }
}

EFI_PCI_IO_PROTOCOL* PciIoInstances::InstanceAt(const PciLocation& location) {
  for (PciIoInstance& instance : instances_) {
    if (instance.function->Location() == location) return &instance.protocol;
  }
  return nullptr;
}

bool PciIoInstances::FailReads(const PciLocation& location, const std::vector<uint16_t>& offsets) {
  for (PciIoInstance& instance : instances_) {
    if (instance.function->Location() != location) continue;
    if (offsets.empty()) {
      instance.fail_every_read = true;
    } else {
      instance.failing_offsets.insert(instance.failing_offsets.end(), offsets.begin(), offsets.end());
    }
    return true;
  }
  return false;
}

EFI_HANDLE PciIoInstances::HandleAt(const PciLocation& location) const {
  auto it = handles_.find(location);
  return it == handles_.end() ? nullptr : it->second;
}

}  // namespace sim
