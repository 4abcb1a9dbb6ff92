// Handles and installed protocol interfaces, with installation order and absent protocols.
#include "sim/dxe/protocol_database.h"

#include <algorithm>

namespace sim {

EFI_HANDLE ProtocolDatabase::NewHandle(std::string name) {
  handles_.push_back(HandleRecord{std::move(name), {}});
  return &handles_.back();
}

const ProtocolDatabase::HandleRecord* ProtocolDatabase::Find(EFI_HANDLE handle) const {
  for (const HandleRecord& record : handles_) {
    if (&record == handle) return &record;
  }
  return nullptr;
}

bool ProtocolDatabase::IsHandle(EFI_HANDLE handle) const { return Find(handle) != nullptr; }

std::string ProtocolDatabase::HandleName(EFI_HANDLE handle) const {
  const HandleRecord* record = Find(handle);
  return record ? record->name : "unknown handle";
}

EFI_STATUS ProtocolDatabase::Install(EFI_HANDLE* handle, const EFI_GUID& guid, void* interface) {
  if (handle == nullptr) return EFI_INVALID_PARAMETER;
  if (*handle == nullptr) *handle = NewHandle("handle " + std::to_string(handles_.size() + 1));
  auto* record = const_cast<HandleRecord*>(Find(*handle));
  if (record == nullptr) return EFI_INVALID_PARAMETER;
  for (const Installation& i : record->protocols) {
    if (GuidEqual(&i.guid, &guid)) return EFI_INVALID_PARAMETER;
  }
  record->protocols.push_back({guid, interface, next_order_++});
  return EFI_SUCCESS;
}

EFI_HANDLE ProtocolDatabase::InstallOnNewHandle(const EFI_GUID& guid, void* interface, std::string handle_name) {
  EFI_HANDLE handle = NewHandle(std::move(handle_name));
  Install(&handle, guid, interface);
  return handle;
}

EFI_STATUS ProtocolDatabase::Uninstall(EFI_HANDLE handle, const EFI_GUID& guid) {
  auto* record = const_cast<HandleRecord*>(Find(handle));
  if (record == nullptr) return EFI_INVALID_PARAMETER;
  auto n = std::erase_if(record->protocols, [&](const Installation& i) { return GuidEqual(&i.guid, &guid); });
  return n ? EFI_SUCCESS : EFI_NOT_FOUND;
}

EFI_STATUS ProtocolDatabase::Locate(const EFI_GUID& guid, void** interface) const {
  std::vector<EFI_HANDLE> handles = HandlesWith(guid);
  if (handles.empty()) return EFI_NOT_FOUND;
  return Lookup(handles.front(), guid, interface);
}

EFI_STATUS ProtocolDatabase::Lookup(EFI_HANDLE handle, const EFI_GUID& guid, void** interface) const {
  const HandleRecord* record = Find(handle);
  if (record == nullptr) return EFI_INVALID_PARAMETER;
  if (!IsAbsent(guid)) {
    for (const Installation& i : record->protocols) {
      if (GuidEqual(&i.guid, &guid)) {
        *interface = i.interface;
        return EFI_SUCCESS;
      }
    }
  }
  return EFI_UNSUPPORTED;
}

std::vector<EFI_HANDLE> ProtocolDatabase::HandlesWith(const EFI_GUID& guid) const {
  std::vector<std::pair<uint64_t, EFI_HANDLE>> found;
  if (IsAbsent(guid)) return {};
  for (const HandleRecord& record : handles_) {
    for (const Installation& i : record.protocols) {
      if (GuidEqual(&i.guid, &guid)) found.push_back({i.order, const_cast<HandleRecord*>(&record)});
    }
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<EFI_HANDLE> out;
  for (const auto& f : found) out.push_back(f.second);
  return out;
}

std::vector<EFI_HANDLE> ProtocolDatabase::AllHandles() const {
  std::vector<EFI_HANDLE> out;
  for (const HandleRecord& record : handles_) out.push_back(const_cast<HandleRecord*>(&record));
  return out;
}

void ProtocolDatabase::MarkAbsent(const EFI_GUID& guid) {
  if (!IsAbsent(guid)) absent_.push_back(guid);
}

bool ProtocolDatabase::IsAbsent(const EFI_GUID& guid) const {
  return std::any_of(absent_.begin(), absent_.end(), [&](const EFI_GUID& g) { return GuidEqual(&g, &guid); });
}

}  // namespace sim
