// The PEI services table of the simulated PEI core: a working PPI database behind InstallPpi and
// LocatePpi; every other service reports a violation when called.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/common/violations.h"
#include "uefi/pei_services.h"

namespace sim {

class PpiDatabase {
 public:
  explicit PpiDatabase(Violations& violations);
  ~PpiDatabase();
  PpiDatabase(const PpiDatabase&) = delete;
  PpiDatabase& operator=(const PpiDatabase&) = delete;

  // What the module finds below the IDT base: a pointer to the services table pointer.
  const EFI_PEI_SERVICES** services_pointer() { return &table_pointer_; }
  const EFI_PEI_SERVICES& table() const { return block_.table; }

  // Host-side installation (the PPI is not copied). Later installs of a GUID are later instances.
  void Install(const EFI_GUID& guid, void* ppi);

  // Whether a PPI of the GUID is installed (no LocatePpi call is counted): what a dispatcher asks.
  bool Installed(const EFI_GUID& guid) const;

  // The InstallPpi and LocatePpi services.
  EFI_STATUS InstallPpi(const EFI_PEI_PPI_DESCRIPTOR* list);
  EFI_STATUS LocatePpi(const EFI_GUID* guid, UINTN instance, EFI_PEI_PPI_DESCRIPTOR** descriptor, void** ppi);

  // LocatePpi calls: all of them, those for one GUID, and those that found nothing.
  uint64_t LocateCalls() const { return locate_calls_; }
  uint64_t LocateCalls(const EFI_GUID& guid) const;
  uint64_t LocateMisses() const { return locate_misses_; }

  Violations& violations() { return violations_; }

 private:
  struct Entry {
    EFI_GUID guid;
    EFI_PEI_PPI_DESCRIPTOR* descriptor;
  };
  // The table and its owner side by side, so a service can find the database from PeiServices.
  struct Block {
    EFI_PEI_SERVICES table;
    PpiDatabase* owner;
  };
  static std::string Key(const EFI_GUID& guid);

  Violations& violations_;
  Block block_;
  const EFI_PEI_SERVICES* table_pointer_;
  std::vector<Entry> entries_;
  std::vector<EFI_PEI_PPI_DESCRIPTOR*> owned_descriptors_;
  std::vector<EFI_GUID*> owned_guids_;
  std::map<std::string, uint64_t> locate_calls_by_guid_;
  uint64_t locate_calls_ = 0;
  uint64_t locate_misses_ = 0;

  friend PpiDatabase* OwnerOf(const EFI_PEI_SERVICES** services);
};

// The database behind a services pointer handed to a service (null when it is not one of ours).
PpiDatabase* OwnerOf(const EFI_PEI_SERVICES** services);

// The name of a PEI services slot (0 = InstallPpi, in table order), for messages.
const char* PeiServiceName(size_t slot);

// GUID in registry form, for messages.
std::string GuidText(const EFI_GUID& guid);

}  // namespace sim
