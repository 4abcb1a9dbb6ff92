// The platform configuration database behind the PCD protocol: tokens by number with typed values.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "sim/common/violations.h"
#include "sim/dxe/call_counter.h"
#include "uefi/protocols/pcd.h"

namespace sim {

// Token numbers the DXE driver reads.
constexpr UINTN kPcdSocketBusLayout = 30;  // pointer: the socket/stack bus layout bytes
constexpr UINTN kPcdEcamBase = 44;         // 64-bit: PCI Express configuration base
constexpr UINTN kPcdUuidTimestamp = 180;   // 32-bit: minutes since 1996-01-01 for the system UUID

class PcdStore {
 public:
  enum class Kind { U8, U16, U32, U64, Bool, Pointer };

  PcdStore(Violations& violations, CallCounter& calls);
  PcdStore(const PcdStore&) = delete;
  PcdStore& operator=(const PcdStore&) = delete;

  // The protocol instance to install (its functions take no `This`; they read the store of the attached
  // DXE platform).
  PCD_PROTOCOL* Protocol() { return &protocol_; }

  void Set8(UINTN token, uint8_t value);
  void Set16(UINTN token, uint16_t value);
  void Set32(UINTN token, uint32_t value);
  void Set64(UINTN token, uint64_t value);
  void SetBool(UINTN token, bool value);
  void SetPointer(UINTN token, std::vector<uint8_t> bytes);  // GetSize answers bytes.size()
  void Erase(UINTN token);
  bool Has(UINTN token) const;

  // Host-side reads with the protocol's semantics: an unknown token or a read of the wrong kind is a
  // violation naming the token and answers 0 (GetPtr: nullptr). GetSize of a numeric token is its width.
  uint64_t GetNumber(UINTN token, Kind kind, const char* service);
  void* GetPointer(UINTN token);
  UINTN GetSize(UINTN token);
  // The bytes behind a pointer GetPointer answered (0 for any other address); neither counted nor reported.
  size_t PointerValueSize(const void* value) const;

 private:
  struct Entry {
    Kind kind;
    uint64_t value = 0;
    std::vector<uint8_t> bytes;
  };
  const Entry* Lookup(UINTN token, const char* service);

  Violations& violations_;
  CallCounter& calls_;
  PCD_PROTOCOL protocol_;
  std::map<UINTN, Entry> tokens_;
  uint8_t empty_pointer_value_ = 0;  // what GetPtr returns for a token of size 0
};

}  // namespace sim
