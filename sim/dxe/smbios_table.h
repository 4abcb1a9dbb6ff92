// The simulated SMBIOS table and the EFI_SMBIOS_PROTOCOL instance that reaches it.
// Records are kept in insertion order; each lives in its own buffer, which GetNext hands out for in-place change.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/common/violations.h"
#include "sim/dxe/call_counter.h"
#include "uefi/protocols/smbios.h"

namespace sim {

class PoolAllocator;

struct SmbiosRecordView {
  uint16_t handle;
  uint8_t type;
  std::vector<uint8_t> bytes;        // formatted area and string set as the table holds it now
  std::vector<std::string> strings;  // decoded string set
};

class SmbiosTable {
 public:
  // pool: used to bound the scan of a record that lies in pool memory (the rest of its buffer).
  SmbiosTable(Violations& violations, CallCounter& calls, const PoolAllocator* pool);
  SmbiosTable(const SmbiosTable&) = delete;
  SmbiosTable& operator=(const SmbiosTable&) = delete;

  // The protocol instance to install; its functions reach this table through `This`.
  EFI_SMBIOS_PROTOCOL* Protocol() { return &instance_.protocol; }

  // Host-side forms (the protocol functions call these; counters are bumped by the protocol functions only).
  // Add: *handle 0xFFFE asks for a free handle; another value is used as given (EFI_ALREADY_STARTED when taken).
  // A malformed record is refused: EFI_INVALID_PARAMETER, table unchanged, refusal recorded and reported.
  EFI_STATUS Add(EFI_SMBIOS_HANDLE* handle, const EFI_SMBIOS_TABLE_HEADER* record);
  EFI_STATUS Remove(EFI_SMBIOS_HANDLE handle);
  EFI_STATUS GetNext(EFI_SMBIOS_HANDLE* handle, const EFI_SMBIOS_TYPE* type, EFI_SMBIOS_TABLE_HEADER** record);

  // Records in table order, decoded.
  std::vector<SmbiosRecordView> Records() const;
  size_t Count() const { return records_.size(); }
  std::map<uint8_t, size_t> CountByType() const;
  // The record whose bytes (formatted area and string set) hold `address`: its start, and its size in `size`;
  // nullptr when no record does.
  const uint8_t* RecordHolding(const void* address, size_t* size) const;
  // The table's own copy of a record (nullptr when absent).
  EFI_SMBIOS_TABLE_HEADER* Find(uint16_t handle);

  // Messages of the refused Adds, in order.
  const std::vector<std::string>& Refusals() const { return refusals_; }
  // Re-checks every record (callers may have changed them in place): type, length and string set
  // must still be well formed. Reports a violation per damaged record.
  void CheckIntegrity();

 private:
  struct Instance {
    EFI_SMBIOS_PROTOCOL protocol;  // first member: `This` converts back to the instance
    SmbiosTable* table;
  };
  struct Stored {
    uint16_t handle;
    uint8_t type;
    std::vector<uint8_t> bytes;  // record, then guard bytes; never reallocated so handed-out pointers stay valid
    size_t size;                 // record bytes (formatted area + string set)
  };
  uint16_t FreeHandle() const;
  Stored* FindStored(uint16_t handle);

  Violations& violations_;
  CallCounter& calls_;
  const PoolAllocator* pool_;
  Instance instance_;
  std::vector<std::unique_ptr<Stored>> records_;
  std::map<uintptr_t, const Stored*> by_address_;  // each stored record by the address of its bytes
  std::vector<std::string> refusals_;

  friend struct SmbiosProtocolThunks;
};

}  // namespace sim
