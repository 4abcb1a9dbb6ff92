// The simulated HII database: keeps a copy of every package list it accepts and hands out a handle for it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/common/violations.h"
#include "sim/dxe/call_counter.h"
#include "uefi/protocols/hii_database.h"

namespace sim {

struct HiiPackage {
  uint8_t type;
  std::vector<uint8_t> bytes;  // whole package, header included
};

struct HiiPackageList {
  EFI_GUID guid;
  EFI_HANDLE driver_handle;
  EFI_HII_HANDLE handle;
  std::vector<uint8_t> bytes;        // the whole list as handed over
  std::vector<HiiPackage> packages;  // in order, end package excluded
};

// Walks a package list: 20-byte header, packages (24-bit length + type; each at least 4 bytes, inside the
// list), ending with exactly one end package at the end. Returns an empty string when well formed, else why not.
std::string CheckHiiPackageList(const uint8_t* bytes, size_t available, std::vector<HiiPackage>* packages);

class PoolAllocator;

class HiiDatabase {
 public:
  // pool: bounds the walk of a list that lies in pool memory (the rest of its buffer).
  HiiDatabase(Violations& violations, CallCounter& calls, const PoolAllocator* pool = nullptr);
  HiiDatabase(const HiiDatabase&) = delete;
  HiiDatabase& operator=(const HiiDatabase&) = delete;

  EFI_HII_DATABASE_PROTOCOL* Protocol() { return &instance_.protocol; }

  // NewPackageList semantics: a malformed list is EFI_INVALID_PARAMETER and a violation; a GUID already
  // registered is EFI_INVALID_PARAMETER too (a violation as well).
  EFI_STATUS NewPackageList(const EFI_HII_PACKAGE_LIST_HEADER* list, EFI_HANDLE driver_handle, EFI_HII_HANDLE* handle);

  const std::vector<std::unique_ptr<HiiPackageList>>& PackageLists() const { return lists_; }
  const HiiPackageList* Find(EFI_HII_HANDLE handle) const;

 private:
  struct Instance {
    EFI_HII_DATABASE_PROTOCOL protocol;  // first member
    HiiDatabase* database;
  };
  Violations& violations_;
  CallCounter& calls_;
  const PoolAllocator* pool_;
  Instance instance_;
  std::vector<std::unique_ptr<HiiPackageList>> lists_;

  friend struct HiiThunks;
};

}  // namespace sim
