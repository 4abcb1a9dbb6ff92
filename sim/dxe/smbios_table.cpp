// The simulated SMBIOS table: Add (checked copy, free handle), Remove, GetNext with a type filter.
#include "sim/dxe/smbios_table.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "sim/common/hex_text.h"
#include "sim/dxe/pool_allocator.h"
#include "sim/dxe/smbios_record_check.h"

namespace sim {

namespace {

// How far a record outside pool memory is scanned for the end of its string set.
constexpr size_t kScanBoundOutsidePool = 4096;
constexpr size_t kRecordGuardLength = 16;
constexpr uint8_t kRecordGuardByte = 0xFD;
constexpr uint16_t kLastHandle = 0xFEFF;

}  // namespace

struct SmbiosProtocolThunks {
  static SmbiosTable* TableOf(const EFI_SMBIOS_PROTOCOL* self, const char* service) {
    if (self == nullptr) return nullptr;
    auto* table = reinterpret_cast<const SmbiosTable::Instance*>(self)->table;
    table->calls_.Bump(service);
    return table;
  }
  static EFI_STATUS EFIAPI Add(const EFI_SMBIOS_PROTOCOL* self, EFI_HANDLE, EFI_SMBIOS_HANDLE* handle,
                               EFI_SMBIOS_TABLE_HEADER* record) {
    SmbiosTable* table = TableOf(self, "Smbios.Add");
    return table ? table->Add(handle, record) : EFI_INVALID_PARAMETER;
  }
  static EFI_STATUS EFIAPI UpdateString(const EFI_SMBIOS_PROTOCOL* self, EFI_SMBIOS_HANDLE*, UINTN*, CHAR8*) {
    SmbiosTable* table = TableOf(self, "Smbios.UpdateString");
    if (table) table->violations_.Report("SMBIOS UpdateString called; the platform does not offer it to this driver");
    return EFI_UNSUPPORTED;
  }
  static EFI_STATUS EFIAPI Remove(const EFI_SMBIOS_PROTOCOL* self, EFI_SMBIOS_HANDLE handle) {
    SmbiosTable* table = TableOf(self, "Smbios.Remove");
    return table ? table->Remove(handle) : EFI_INVALID_PARAMETER;
  }
  static EFI_STATUS EFIAPI GetNext(const EFI_SMBIOS_PROTOCOL* self, EFI_SMBIOS_HANDLE* handle, EFI_SMBIOS_TYPE* type,
                                   EFI_SMBIOS_TABLE_HEADER** record, EFI_HANDLE* producer) {
    SmbiosTable* table = TableOf(self, "Smbios.GetNext");
    if (table == nullptr) return EFI_INVALID_PARAMETER;
    if (producer != nullptr) *producer = nullptr;
    return table->GetNext(handle, type, record);
  }
};

SmbiosTable::SmbiosTable(Violations& violations, CallCounter& calls, const PoolAllocator* pool)
    : violations_(violations), calls_(calls), pool_(pool) {
  instance_.protocol.Add = &SmbiosProtocolThunks::Add;
  instance_.protocol.UpdateString = &SmbiosProtocolThunks::UpdateString;
  instance_.protocol.Remove = &SmbiosProtocolThunks::Remove;
  instance_.protocol.GetNext = &SmbiosProtocolThunks::GetNext;
  instance_.protocol.MajorVersion = 3;
  instance_.protocol.MinorVersion = 0;
  instance_.table = this;
}

uint16_t SmbiosTable::FreeHandle() const {
  std::vector<bool> used(kLastHandle + 1, false);
  for (const auto& r : records_) {
    if (r->handle <= kLastHandle) used[r->handle] = true;
  }
  for (uint32_t h = 0; h <= kLastHandle; ++h) {
    if (!used[h]) return static_cast<uint16_t>(h);
  }
  return SMBIOS_HANDLE_PI_RESERVED;
}

SmbiosTable::Stored* SmbiosTable::FindStored(uint16_t handle) {
  for (auto& r : records_) {
    if (r->handle == handle) return r.get();
  }
  return nullptr;
}

const uint8_t* SmbiosTable::RecordHolding(const void* address, size_t* size) const {
  // An emulated driver's every access to a record asks this: one search, not a walk over the table.
  const auto at = reinterpret_cast<uintptr_t>(address);
  auto it = by_address_.upper_bound(at);
  if (it == by_address_.begin()) return nullptr;
  const Stored& stored = *std::prev(it)->second;
  if (at - std::prev(it)->first >= stored.size) return nullptr;
  *size = stored.size;
  return stored.bytes.data();
}

EFI_SMBIOS_TABLE_HEADER* SmbiosTable::Find(uint16_t handle) {
  Stored* s = FindStored(handle);
  return s ? reinterpret_cast<EFI_SMBIOS_TABLE_HEADER*>(s->bytes.data()) : nullptr;
}

EFI_STATUS SmbiosTable::Add(EFI_SMBIOS_HANDLE* handle, const EFI_SMBIOS_TABLE_HEADER* record) {
  auto refuse = [&](const std::string& why) {
    std::string message = "SMBIOS Add refused";
    if (record != nullptr) message += ": type " + std::to_string(record->Type) + " record";
    message += ": " + why;
    refusals_.push_back(message);
    violations_.Report(message);
    return EFI_INVALID_PARAMETER;
  };
  if (handle == nullptr) return refuse("null handle pointer");
  if (record == nullptr) return refuse("null record pointer");
  size_t available = kScanBoundOutsidePool;
  if (pool_ != nullptr && !pool_->Find(record, &available)) available = kScanBoundOutsidePool;
  const auto* bytes = reinterpret_cast<const uint8_t*>(record);
  SmbiosRecordCheck check = CheckSmbiosRecord(bytes, available);
  if (!check.ok) return refuse(check.problem);
  uint16_t assigned = *handle;
  if (assigned == SMBIOS_HANDLE_PI_RESERVED) {
    assigned = FreeHandle();
    if (assigned == SMBIOS_HANDLE_PI_RESERVED) return EFI_OUT_OF_RESOURCES;
  } else if (assigned > kLastHandle) {
    return refuse("requested handle " + Hex(assigned, 4) + " is reserved");
  } else if (FindStored(assigned) != nullptr) {
    return EFI_ALREADY_STARTED;
  }
  auto stored = std::make_unique<Stored>();
  stored->handle = assigned;
  stored->type = record->Type;
  stored->size = check.size;
  stored->bytes.assign(bytes, bytes + check.size);
  stored->bytes.resize(check.size + kRecordGuardLength, kRecordGuardByte);
  reinterpret_cast<EFI_SMBIOS_TABLE_HEADER*>(stored->bytes.data())->Handle = assigned;
  by_address_[reinterpret_cast<uintptr_t>(stored->bytes.data())] = stored.get();
  records_.push_back(std::move(stored));
  *handle = assigned;
  return EFI_SUCCESS;
}

EFI_STATUS SmbiosTable::Remove(EFI_SMBIOS_HANDLE handle) {
  for (auto it = records_.begin(); it != records_.end(); ++it) {
    if ((*it)->handle == handle) {
      by_address_.erase(reinterpret_cast<uintptr_t>((*it)->bytes.data()));
      records_.erase(it);
      return EFI_SUCCESS;
    }
  }
  violations_.Report("SMBIOS Remove of handle " + Hex(handle, 4) + ", which is not in the table");
  return EFI_INVALID_PARAMETER;
}

EFI_STATUS SmbiosTable::GetNext(EFI_SMBIOS_HANDLE* handle, const EFI_SMBIOS_TYPE* type,
                                EFI_SMBIOS_TABLE_HEADER** record) {
  if (handle == nullptr || record == nullptr) {
    violations_.Report("SMBIOS GetNext called with a null handle or record pointer");
    return EFI_INVALID_PARAMETER;
  }
  size_t start = 0;
  if (*handle != SMBIOS_HANDLE_PI_RESERVED) {
    size_t i = 0;
    while (i < records_.size() && records_[i]->handle != *handle) ++i;
    if (i == records_.size()) {
      *handle = SMBIOS_HANDLE_PI_RESERVED;
      return EFI_NOT_FOUND;
    }
    start = i + 1;
  }
  for (size_t i = start; i < records_.size(); ++i) {
    Stored& r = *records_[i];
    if (type == nullptr || r.bytes[0] == *type) {
      *handle = r.handle;
      *record = reinterpret_cast<EFI_SMBIOS_TABLE_HEADER*>(r.bytes.data());
      return EFI_SUCCESS;
    }
  }
  *handle = SMBIOS_HANDLE_PI_RESERVED;
  return EFI_NOT_FOUND;
}

std::vector<SmbiosRecordView> SmbiosTable::Records() const {
  std::vector<SmbiosRecordView> out;
  for (const auto& r : records_) {
    SmbiosRecordCheck check = CheckSmbiosRecord(r->bytes.data(), r->size);
    const size_t size = check.ok ? check.size : r->size;
    out.push_back(
        {r->handle, r->bytes[0], std::vector<uint8_t>(r->bytes.begin(), r->bytes.begin() + size), check.strings});
  }
  return out;
}

std::map<uint8_t, size_t> SmbiosTable::CountByType() const {
  std::map<uint8_t, size_t> out;
  for (const auto& r : records_) ++out[r->bytes[0]];
  return out;
}

void SmbiosTable::CheckIntegrity() {
  for (const auto& r : records_) {
    std::string what;
    const auto* header = reinterpret_cast<const EFI_SMBIOS_TABLE_HEADER*>(r->bytes.data());
    for (size_t i = r->size; i < r->bytes.size(); ++i) {
      if (r->bytes[i] != kRecordGuardByte) {
        what = "written past its end (offset " + std::to_string(i) + ")";
        break;
      }
    }
    if (what.empty() && (header->Type != r->type || header->Handle != r->handle)) {
      what = "type or handle changed in place";
    }
    if (what.empty()) {
      SmbiosRecordCheck check = CheckSmbiosRecord(r->bytes.data(), r->size);
      if (!check.ok) {
        what = "no longer well formed: " + check.problem;
      } else if (check.size != r->size) {
        what = "string set changed its size in place";
      }
    }
    if (!what.empty()) {
      violations_.Report("SMBIOS record " + Hex(r->handle, 4) + " (type " + std::to_string(r->type) + ") " + what);
    }
  }
}

}  // namespace sim
