// The simulated HII database: package lists are walked, checked and copied; each gets a handle.
#include "sim/dxe/hii_database.h"

#include <cstring>

#include "sim/dxe/hii_string_package.h"
#include "sim/dxe/pool_allocator.h"
#include "sim/dxe/protocol_names.h"
#include "sim/dxe/unimplemented_service.h"

namespace sim {

namespace {

// How far a package list outside pool memory may extend.
constexpr size_t kListBoundOutsidePool = 1 << 20;

}  // namespace

std::string CheckHiiPackageList(const uint8_t* bytes, size_t available, std::vector<HiiPackage>* packages) {
  if (bytes == nullptr) return "null package list";
  if (available < sizeof(EFI_HII_PACKAGE_LIST_HEADER)) return "shorter than the 20-byte package list header";
  uint32_t length;
  std::memcpy(&length, bytes + 16, 4);
  if (length < sizeof(EFI_HII_PACKAGE_LIST_HEADER) + 4) {
    return "PackageLength " + std::to_string(length) + " leaves no room for the end package";
  }
  if (length > available) {
    return "PackageLength " + std::to_string(length) + " runs past the " + std::to_string(available) +
           " readable bytes";
  }
  size_t p = sizeof(EFI_HII_PACKAGE_LIST_HEADER);
  unsigned index = 0;
  while (p < length) {
    ++index;
    if (length - p < 4) return "package " + std::to_string(index) + " header crosses PackageLength";
    const uint32_t package_length = bytes[p] | (bytes[p + 1] << 8) | (bytes[p + 2] << 16);
    const uint8_t type = bytes[p + 3];
    if (package_length < 4) {
      return "package " + std::to_string(index) + " has length " + std::to_string(package_length);
    }
    if (package_length > length - p) {
      return "package " + std::to_string(index) + " (length " + std::to_string(package_length) +
             ") runs past PackageLength " + std::to_string(length);
    }
    if (type == EFI_HII_PACKAGE_END) {
      if (package_length != 4) return "end package has length " + std::to_string(package_length) + ", expected 4";
      if (p + 4 != length) {
        return "end package at offset " + std::to_string(p) + " is followed by " + std::to_string(length - p - 4) +
               " more bytes inside PackageLength";
      }
      return "";
    }
    if (packages != nullptr) packages->push_back({type, std::vector<uint8_t>(bytes + p, bytes + p + package_length)});
    p += package_length;
  }
  return "no end package before PackageLength " + std::to_string(length);
}

struct HiiThunks {
  static EFI_STATUS EFIAPI NewPackageList(const EFI_HII_DATABASE_PROTOCOL* self,
                                          const EFI_HII_PACKAGE_LIST_HEADER* list, EFI_HANDLE driver_handle,
                                          EFI_HII_HANDLE* handle) {
    if (self == nullptr) return EFI_INVALID_PARAMETER;
    HiiDatabase* db = reinterpret_cast<const HiiDatabase::Instance*>(self)->database;
    db->calls_.Bump("Hii.NewPackageList");
    return db->NewPackageList(list, driver_handle, handle);
  }
};

HiiDatabase::HiiDatabase(Violations& violations, CallCounter& calls, const PoolAllocator* pool)
    : violations_(violations), calls_(calls), pool_(pool) {
  EFI_HII_DATABASE_PROTOCOL& p = instance_.protocol;
  p.NewPackageList = &HiiThunks::NewPackageList;
  p.RemovePackageList = UnimplementedService("Hii.RemovePackageList");
  p.UpdatePackageList = UnimplementedService("Hii.UpdatePackageList");
  p.ListPackageLists = UnimplementedService("Hii.ListPackageLists");
  p.ExportPackageLists = UnimplementedService("Hii.ExportPackageLists");
  p.RegisterPackageNotify = UnimplementedService("Hii.RegisterPackageNotify");
  p.UnregisterPackageNotify = UnimplementedService("Hii.UnregisterPackageNotify");
  p.FindKeyboardLayouts = UnimplementedService("Hii.FindKeyboardLayouts");
  p.GetKeyboardLayout = UnimplementedService("Hii.GetKeyboardLayout");
  p.SetKeyboardLayout = UnimplementedService("Hii.SetKeyboardLayout");
  p.GetPackageListHandle = UnimplementedService("Hii.GetPackageListHandle");
  instance_.database = this;
}

EFI_STATUS HiiDatabase::NewPackageList(const EFI_HII_PACKAGE_LIST_HEADER* list, EFI_HANDLE driver_handle,
                                       EFI_HII_HANDLE* handle) {
  auto refuse = [&](const std::string& why) {
    violations_.Report("HII NewPackageList refused: " + why);
    return EFI_INVALID_PARAMETER;
  };
  if (list == nullptr || handle == nullptr) return refuse("null package list or handle pointer");
  size_t available = kListBoundOutsidePool;
  if (pool_ != nullptr) pool_->Find(list, &available);
  const auto* bytes = reinterpret_cast<const uint8_t*>(list);
  auto entry = std::make_unique<HiiPackageList>();
  std::string problem = CheckHiiPackageList(bytes, available, &entry->packages);
  if (!problem.empty()) return refuse(problem);
  for (const HiiPackage& package : entry->packages) {
    if (package.type != EFI_HII_PACKAGE_STRINGS) continue;
    HiiStringPackageInfo strings;
    problem = ParseHiiStringPackage(package.bytes.data(), package.bytes.size(), &strings);
    if (!problem.empty()) return refuse("string package: " + problem);
  }
  for (const auto& existing : lists_) {
    if (GuidEqual(&existing->guid, &list->PackageListGuid)) {
      return refuse("package list GUID " + GuidToString(list->PackageListGuid) + " is already registered");
    }
  }
  entry->guid = list->PackageListGuid;
  entry->driver_handle = driver_handle;
  entry->bytes.assign(bytes, bytes + list->PackageLength);
  entry->handle = entry.get();
  *handle = entry->handle;
  lists_.push_back(std::move(entry));
  return EFI_SUCCESS;
}

const HiiPackageList* HiiDatabase::Find(EFI_HII_HANDLE handle) const {
  for (const auto& l : lists_) {
    if (l->handle == handle) return l.get();
  }
  return nullptr;
}

}  // namespace sim
