// The PEI image's platform view: 32-bit services table, PPIs whose slots forward to the host platform's own
// functions, the IDT with the services pointer below it, memory and MMIO mappings, and the listener calls.
#include "sim/image/peim_image_run.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include "firmware/pe/link_map.h"
#include "hw/debug_stop.h"
#include "sim/common/debug_stop_log.h"
#include "sim/common/hex_text.h"
#include "sim/image/service_rules.h"
#include "uefi/protocols/pcd_ppi.h"
#include "uefi/protocols/report_status_code_handler_ppi.h"
#include "uefi/status.h"

namespace sim {

namespace {

constexpr size_t kServiceSlots = (sizeof(EFI_PEI_SERVICES) - sizeof(EFI_TABLE_HEADER)) / sizeof(void*);
constexpr size_t kLocatePpiSlot = 2, kCpuIoSlot = 18, kPciCfgSlot = 19;
constexpr size_t kPcdGetPtrSlot = 5;
constexpr size_t kIdtGates = 256;
constexpr size_t kMaxStopArguments = 16;
constexpr size_t kStackSize = 64 * 1024;

// Status values between the host's 64-bit and the image's 32-bit form (error bit on top in both).
uint32_t GuestStatus(EFI_STATUS s) {
  return EFI_ERROR(s) ? 0x80000000u | static_cast<uint32_t>(s & 0x7FFFFFFFu) : static_cast<uint32_t>(s);
}
EFI_STATUS HostStatus(uint64_t s) {
  const uint32_t v = static_cast<uint32_t>(s);
  return (v & 0x80000000u) != 0 ? EFIERR(v & 0x7FFFFFFFu) : v;
}

void Put32(uint8_t* at, uint32_t value) { std::memcpy(at, &value, 4); }

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

struct PeimImageRun::Tables {
  std::map<const void*, uint32_t> ppis;         // host PPI -> its 32-bit form
  std::map<const void*, uint32_t> descriptors;  // host PPI -> a 32-bit descriptor of it
  std::map<const void*, uint32_t> copies;       // host memory a PCD pointer names -> its below-4-GiB copy
};

std::unique_ptr<PeimImageRun> PeimImageRun::Create(TracePlatform& platform, const std::string& image_path,
                                                   std::string& error) {
  const std::vector<ReservedRange> windows = BusRanges(platform.pei().bus());
  PlaceResult placed = PlaceImageFile(image_path, std::nullopt, windows);
  if (!placed.image) {
    error = placed.error;
    return nullptr;
  }
  if (placed.image->Is64()) {
    error = image_path + ": an x86-64 image; the PEI module is IA-32 (PE32)";
    return nullptr;
  }
  std::string map_text;
  std::string map_path = image_path;
  if (map_path.size() > 4 && map_path.compare(map_path.size() - 4, 4, ".efi") == 0) {
    map_path.replace(map_path.size() - 4, 4, ".map");
    map_text = ReadText(map_path);
  }
  std::unique_ptr<PeimImageRun> run = CreatePlaced(platform, std::move(placed.image), std::move(map_text), error);
  if (!run) {
    error = image_path + ": " + error;
    return nullptr;
  }
  run->machine_->SetName(image_path);
  return run;
}

std::unique_ptr<PeimImageRun> PeimImageRun::CreatePlaced(TracePlatform& platform, std::unique_ptr<PlacedImage> image,
                                                         std::string map_text, std::string& error,
                                                         std::vector<ReservedRange> also_reserved) {
  std::vector<ReservedRange> reserved = BusRanges(platform.pei().bus());
  reserved.insert(reserved.end(), also_reserved.begin(), also_reserved.end());
  std::unique_ptr<PeimImageRun> run(new PeimImageRun(platform, std::move(image), reserved));
  if (!run->machine_->PlacementError().empty()) {
    error = run->machine_->PlacementError();
    return nullptr;
  }
  run->map_text_ = std::move(map_text);
  run->stop_ = run->Symbol("_DebugStopPoll");  // looked up once: the map's text is long
  run->machine_->TakeSnapshot();
  run->Build();
  return run;
}

PeimImageRun::PeimImageRun(TracePlatform& platform, std::unique_ptr<PlacedImage> image,
                           std::span<const ReservedRange> reserved)
    : platform_(&platform),
      image_(std::move(image)),
      machine_(std::make_unique<ImageMachine>(*image_, kStackSize, reserved)),
      tables_(std::make_unique<Tables>()) {}

bool PeimImageRun::Reattach(TracePlatform& platform) {
  // The image and the machine's own memory must both be clear of the new platform's windows.
  const std::vector<ReservedRange> reserved = BusRanges(platform.pei().bus());
  if (OverlappedRange(image_->Base(), image_->MappedSize(), reserved) != nullptr || !machine_->ClearOf(reserved))
    return false;
  machine_->Restore();
  platform_ = &platform;
  tables_ = std::make_unique<Tables>();
  last_calls_.clear();
  Build();
  return true;
}

PeimImageRun::~PeimImageRun() = default;

std::optional<uint64_t> PeimImageRun::Symbol(const std::string& name) const {
  if (std::optional<pe::MapSymbol> s = pe::FindMapSymbol(map_text_, name)) return image_->Base() + s->Rva;
  return std::nullopt;
}

void PeimImageRun::Build() {
  ImageMachine& m = *machine_;
  GuestArena& arena = m.Arena();
  PeiPlatform& pei = platform_->pei();
  Violations& violations = pei.violations();

  // A PPI whose slots forward to the host PPI's functions (statuses converted where the slot returns one).
  auto forwarding_ppi = [&](const void* host, size_t slots, const std::string& name, bool returns_status,
                            std::map<size_t, ImageMachine::TrapHandler> special) {
    uint8_t* guest = arena.Allocate(4 * slots, 4);
    void* const* functions = static_cast<void* const*>(host);
    for (size_t i = 0; i < slots; ++i) {
      ImageMachine::TrapHandler handler =
          special.count(i) ? special[i] : [function = functions[i], returns_status](const TrapCall& c) -> uint64_t {
        const uint64_t r = ImageMachine::CallHostFunction(function, c);
        return returns_status ? GuestStatus(r) : r;
      };
      Put32(guest + 4 * i,
            static_cast<uint32_t>(m.AddTrap(name + " function " + std::to_string(i), std::move(handler))));
    }
    tables_->ppis[host] = GuestArena::Address32(guest);
  };

  StatusCodeHandler& handler = platform_->handler();
  forwarding_ppi(handler.ppi(), sizeof(EFI_PEI_RSC_HANDLER_PPI) / sizeof(void*), "report-status-code handler PPI", true,
                 {});
  PcdDatabase& pcds = pei.pcds();
  forwarding_ppi(pcds.ppi(), sizeof(PCD_PPI) / sizeof(void*), "PCD PPI", false,
                 {{kPcdGetPtrSlot, [this, &pcds](const TrapCall& c) -> uint64_t {
                     // A pointer value lives in host memory; the image gets a below-4-GiB copy of its bytes.
                     const UINTN token = c.Arg(0);
                     void* host = pcds.ppi()->GetPtr(token);
                     if (host == nullptr) return 0;
                     const size_t size = pcds.ppi()->GetSize(token);
                     auto [it, fresh] = tables_->copies.try_emplace(host, 0);
                     if (fresh) it->second = GuestArena::Address32(machine_->Arena().Allocate(size + 1));
                     std::memcpy(reinterpret_cast<void*>(static_cast<uintptr_t>(it->second)), host, size);
                     return it->second;
                   }}});

  // The services table: LocatePpi served from the platform's database, every other service a violation.
  uint8_t* table = arena.Allocate(sizeof(EFI_TABLE_HEADER) + 4 * kServiceSlots, 8);
  const uint64_t signature = PEI_SERVICES_SIGNATURE;
  std::memcpy(table, &signature, 8);
  Put32(table + 8, pei.ppis().table().Hdr.Revision);
  Put32(table + 12, static_cast<uint32_t>(sizeof(EFI_TABLE_HEADER) + 4 * kServiceSlots));
  uint8_t* pointer = arena.Allocate(4, 4);
  Put32(pointer, GuestArena::Address32(table));
  services_pointer_ = GuestArena::Address32(pointer);
  for (size_t slot = 0; slot < kServiceSlots; ++slot) {
    if (slot == kCpuIoSlot || slot == kPciCfgSlot) continue;  // PPI pointers, none installed
    ImageMachine::TrapHandler h;
    if (slot == kLocatePpiSlot) {
      h = [this, &pei](const TrapCall& c) -> uint64_t {
        if (c.Arg(0) != services_pointer_) return GuestStatus(EFI_INVALID_PARAMETER);
        static const ServiceRule kLocatePpi{
            "PEI service LocatePpi",
            {In(1, "Guid", sizeof(EFI_GUID), true), Out(3, "PpiDescriptor", 4, true), Out(4, "Ppi", 4, true)}};
        const std::string refusal = CheckServiceCall(
            kLocatePpi, [&c](unsigned i) { return c.Arg(i); }, machine_->Reach(),
            [](uint64_t, const EFI_GUID&) { return false; });
        if (!refusal.empty()) {
          c.Refuse(refusal);
          return 0;
        }
        EFI_GUID guid;
        const bool have_guid = c.Arg(1) != 0 && machine_->ReadGuest(c.Arg(1), &guid, sizeof guid);
        void* host_ppi = nullptr;
        EFI_PEI_PPI_DESCRIPTOR* descriptor = nullptr;
        const EFI_STATUS st = pei.ppis().LocatePpi(have_guid ? &guid : nullptr, c.Arg(2), &descriptor,
                                                   c.Arg(4) != 0 ? &host_ppi : nullptr);
        if (EFI_ERROR(st)) return GuestStatus(st);
        auto it = tables_->ppis.find(host_ppi);
        if (it == tables_->ppis.end()) {
          pei.violations().Report("LocatePpi from the PEI image found " + GuidText(guid) +
                                  ", a PPI the simulator has no 32-bit form of");
          return GuestStatus(EFI_NOT_FOUND);
        }
        uint32_t guest_ppi = it->second;
        if (!machine_->WriteGuest(c.Arg(4), &guest_ppi, 4)) {
          pei.violations().Report("LocatePpi from the PEI image: the PPI pointer out at " + Hex(c.Arg(4)) +
                                  " is not writable memory");
          return GuestStatus(EFI_INVALID_PARAMETER);
        }
        if (c.Arg(3) != 0) {
          auto [d, fresh] = tables_->descriptors.try_emplace(host_ppi, 0);
          if (fresh) {
            uint8_t* bytes = machine_->Arena().Allocate(12 + sizeof(EFI_GUID), 4);
            Put32(bytes, static_cast<uint32_t>(descriptor->Flags));
            std::memcpy(bytes + 12, &guid, sizeof guid);
            Put32(bytes + 4, GuestArena::Address32(bytes + 12));
            Put32(bytes + 8, guest_ppi);
            d->second = GuestArena::Address32(bytes);
          }
          machine_->WriteGuest(c.Arg(3), &d->second, 4);
        }
        return 0;
      };
    } else {
      h = [slot, &violations](const TrapCall&) -> uint64_t {
        violations.Report(std::string("PEI service ") + PeiServiceName(slot) +
                          " called by the PEI image; the simulated PEI core does not provide it");
        return GuestStatus(EFI_UNSUPPORTED);
      };
    }
    Put32(table + sizeof(EFI_TABLE_HEADER) + 4 * slot,
          static_cast<uint32_t>(m.AddTrap(std::string("PEI service ") + PeiServiceName(slot), std::move(h))));
  }

  // The PI IA-32 convention: the word below the IDT base points at the services table pointer.
  uint8_t* idt = arena.Allocate(8 + 8 * kIdtGates, 8);
  Put32(idt + 4, services_pointer_);
  m.SetIdtBase(GuestArena::Address32(idt + 8));

  StatusCodeRecordArena& records = platform_->records();
  m.MapHost(records.base(), records.capacity(), false, "the status-code records");
  m.MapHost(pei.silicon_context().data(), pei.silicon_context().size(), true, "the SiliconContext");
  m.MapBus(pei.bus());

  if (stop_) {
    m.AddStop(*stop_, [this](const TrapCall& c) {
      std::string message;
      for (uint64_t at = c.Arg(1); at != 0 && message.size() < 512; ++at) {
        char ch = 0;
        if (!machine_->ReadGuest(at, &ch, 1) || ch == 0) break;
        message += ch;
      }
      const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(c.Arg(3), kMaxStopArguments));
      uint32_t arguments[kMaxStopArguments] = {};
      machine_->ReadGuest(c.Arg(2), arguments, 4 * count);
      volatile UINT8 flag = 1;
      DebugStopPoll(&flag, message.c_str(), arguments, count);  // the simulator's stop log
      DebugStop stop{message, std::vector<uint32_t>(arguments, arguments + count)};
      return "debugger stop: " + FormatDebugStop(stop);
    });
  }
}

void PeimImageRun::Note(const GuestCallResult& r, const std::string& what) {
  if (!r.completed) platform_->violations().Report("PEI image, " + what + ": " + r.fault);
}

EFI_STATUS PeimImageRun::RunEntry() {
  const GuestCallResult r = machine_->Call(image_->Entry(), {0, services_pointer_});
  Note(r, "entry point");
  last_calls_ = {r};
  return r.completed ? HostStatus(r.value) : EFI_ABORTED;
}

std::vector<EFI_STATUS> PeimImageRun::Report(EFI_STATUS_CODE_TYPE type, EFI_STATUS_CODE_VALUE value, uint32_t instance,
                                             const EFI_GUID* caller_id, const void* data) {
  last_calls_.clear();
  std::vector<EFI_STATUS> statuses;
  const std::vector<EFI_PEI_RSC_HANDLER_CALLBACK> listeners = platform_->handler().listeners();
  for (EFI_PEI_RSC_HANDLER_CALLBACK listener : listeners) {
    const GuestCallResult r =
        machine_->Call(reinterpret_cast<uintptr_t>(listener),
                       {services_pointer_, type, value, instance, reinterpret_cast<uintptr_t>(caller_id),
                        reinterpret_cast<uintptr_t>(data)});
    Note(r, "listener for code type " + Hex(type));
    const EFI_STATUS status = r.completed ? HostStatus(r.value) : EFI_ABORTED;
    if (r.completed && EFI_ERROR(status)) {
      platform_->violations().Report("status-code listener returned an error for code type " + std::to_string(type));
    }
    statuses.push_back(status);
    last_calls_.push_back(r);
  }
  return statuses;
}

}  // namespace sim
