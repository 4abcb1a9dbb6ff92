// PPI installation and lookup, and the violation-reporting stand-ins for the other PEI services.
#include "sim/pei/ppi_database.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "uefi/protocols/pcd_ppi.h"
#include "uefi/status.h"

namespace sim {

namespace {

constexpr const char* kServiceNames[] = {"InstallPpi",
                                         "ReInstallPpi",
                                         "LocatePpi",
                                         "NotifyPpi",
                                         "GetBootMode",
                                         "SetBootMode",
                                         "GetHobList",
                                         "CreateHob",
                                         "FfsFindNextVolume",
                                         "FfsFindNextFile",
                                         "FfsFindSectionData",
                                         "InstallPeiMemory",
                                         "AllocatePages",
                                         "AllocatePool",
                                         "CopyMem",
                                         "SetMem",
                                         "ReportStatusCode",
                                         "ResetSystem",
                                         "CpuIo",
                                         "PciCfg",
                                         "FfsFindFileByName",
                                         "FfsGetFileInfo",
                                         "FfsGetVolumeInfo",
                                         "RegisterForShadow",
                                         "FindSectionData3",
                                         "FfsGetFileInfo2",
                                         "ResetSystem2",
                                         "FreePages"};
constexpr size_t kServiceSlots = (sizeof(EFI_PEI_SERVICES) - sizeof(EFI_TABLE_HEADER)) / sizeof(void*);
static_assert(sizeof(kServiceNames) / sizeof(kServiceNames[0]) == kServiceSlots, "one name per services slot");

// Every PEI service takes the services pointer first, which leads back to the database.
template <size_t Slot>
EFI_STATUS EFIAPI UnprovidedService(const EFI_PEI_SERVICES** services) {
  if (PpiDatabase* db = OwnerOf(services)) {
    db->violations().Report(std::string("PEI service ") + kServiceNames[Slot] +
                            " called; the simulated PEI core does not provide it");
  }
  return EFI_UNSUPPORTED;
}

template <size_t... Slots>
void FillUnprovidedServices(void** slots, std::index_sequence<Slots...>) {
  ((slots[Slots] = reinterpret_cast<void*>(&UnprovidedService<Slots>)), ...);
}

EFI_STATUS EFIAPI InstallPpiService(const EFI_PEI_SERVICES** services, const EFI_PEI_PPI_DESCRIPTOR* list) {
  PpiDatabase* db = OwnerOf(services);
  return db ? db->InstallPpi(list) : EFI_INVALID_PARAMETER;
}

EFI_STATUS EFIAPI LocatePpiService(const EFI_PEI_SERVICES** services, const EFI_GUID* guid, UINTN instance,
                                   EFI_PEI_PPI_DESCRIPTOR** descriptor, void** ppi) {
  PpiDatabase* db = OwnerOf(services);
  return db ? db->LocatePpi(guid, instance, descriptor, ppi) : EFI_INVALID_PARAMETER;
}

}  // namespace

const char* PeiServiceName(size_t slot) { return slot < kServiceSlots ? kServiceNames[slot] : "(past the table)"; }

std::string GuidText(const EFI_GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

PpiDatabase* OwnerOf(const EFI_PEI_SERVICES** services) {
  if (services == nullptr || *services == nullptr) return nullptr;
  // The table is the first member of its block.
  auto* block = reinterpret_cast<const PpiDatabase::Block*>(*services);
  return block->owner;
}

PpiDatabase::PpiDatabase(Violations& violations) : violations_(violations) {
  std::memset(&block_, 0, sizeof block_);
  block_.owner = this;
  EFI_PEI_SERVICES& t = block_.table;
  t.Hdr.Signature = PEI_SERVICES_SIGNATURE;
  t.Hdr.Revision = (1u << 16) | 70u;
  t.Hdr.HeaderSize = sizeof(EFI_PEI_SERVICES);
  FillUnprovidedServices(reinterpret_cast<void**>(&t.InstallPpi), std::make_index_sequence<kServiceSlots>());
  t.InstallPpi = InstallPpiService;
  t.LocatePpi = LocatePpiService;
  t.CpuIo = nullptr;  // PPI pointers, not services
  t.PciCfg = nullptr;
  table_pointer_ = &block_.table;
}

PpiDatabase::~PpiDatabase() {
  for (auto* d : owned_descriptors_) delete d;
  for (auto* g : owned_guids_) delete g;
}

std::string PpiDatabase::Key(const EFI_GUID& guid) {
  return std::string(reinterpret_cast<const char*>(&guid), sizeof guid);
}

void PpiDatabase::Install(const EFI_GUID& guid, void* ppi) {
  auto* g = new EFI_GUID(guid);
  owned_guids_.push_back(g);
  auto* d = new EFI_PEI_PPI_DESCRIPTOR{EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST, g, ppi};
  owned_descriptors_.push_back(d);
  entries_.push_back({guid, d});
}

EFI_STATUS PpiDatabase::InstallPpi(const EFI_PEI_PPI_DESCRIPTOR* list) {
  if (list == nullptr) {
    violations_.Report("InstallPpi called with a null descriptor list");
    return EFI_INVALID_PARAMETER;
  }
  for (const EFI_PEI_PPI_DESCRIPTOR* d = list;; ++d) {
    if ((d->Flags & EFI_PEI_PPI_DESCRIPTOR_PPI) == 0 || d->Guid == nullptr) {
      violations_.Report("InstallPpi: descriptor without the PPI flag or GUID");
      return EFI_INVALID_PARAMETER;
    }
    entries_.push_back({*d->Guid, const_cast<EFI_PEI_PPI_DESCRIPTOR*>(d)});
    if (d->Flags & EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST) break;
  }
  return EFI_SUCCESS;
}

bool PpiDatabase::Installed(const EFI_GUID& guid) const {
  for (const auto& e : entries_) {
    if (std::memcmp(&e.guid, &guid, sizeof guid) == 0) return true;
  }
  return false;
}

EFI_STATUS PpiDatabase::LocatePpi(const EFI_GUID* guid, UINTN instance, EFI_PEI_PPI_DESCRIPTOR** descriptor,
                                  void** ppi) {
  ++locate_calls_;
  if (guid == nullptr || ppi == nullptr) {
    violations_.Report("LocatePpi called with a null GUID or PPI pointer");
    ++locate_misses_;
    return EFI_INVALID_PARAMETER;
  }
  ++locate_calls_by_guid_[Key(*guid)];
  UINTN seen = 0;
  for (const auto& e : entries_) {
    if (std::memcmp(&e.guid, guid, sizeof *guid) != 0) continue;
    if (seen++ != instance) continue;
    if (descriptor != nullptr) *descriptor = e.descriptor;
    *ppi = e.descriptor->Ppi;
    return EFI_SUCCESS;
  }
  ++locate_misses_;
  return EFI_NOT_FOUND;
}

uint64_t PpiDatabase::LocateCalls(const EFI_GUID& guid) const {
  auto it = locate_calls_by_guid_.find(Key(guid));
  return it == locate_calls_by_guid_.end() ? 0 : it->second;
}

}  // namespace sim
