// The seam behind the runtime services GetVariable and SetVariable: a pluggable variable store.
#pragma once
#include <cstdint>

#include "sim/dxe/call_counter.h"
#include "uefi/base_types.h"
#include "uefi/guid.h"
#include "uefi/status.h"

namespace sim {

// Implementations follow the UEFI semantics of the two services (sizes in and out, EFI_BUFFER_TOO_SMALL, ...).
// Pointers are the module's own arguments; Name is NUL-terminated UCS-2.
class VariableService {
 public:
  virtual ~VariableService() = default;
  virtual EFI_STATUS GetVariable(const CHAR16* name, const EFI_GUID* vendor, UINT32* attributes, UINTN* data_size,
                                 VOID* data) = 0;
  virtual EFI_STATUS SetVariable(const CHAR16* name, const EFI_GUID* vendor, UINT32 attributes, UINTN data_size,
                                 const VOID* data) = 0;
};

// The store a platform has until a real one is plugged in: holds nothing. Reads answer EFI_NOT_FOUND,
// writes are refused with EFI_WRITE_PROTECTED; both are counted ("Variables.Unserved", "Variables.Refused"),
// not reported as violations.
class EmptyVariableService : public VariableService {
 public:
  explicit EmptyVariableService(CallCounter& calls) : calls_(calls) {}
  EFI_STATUS GetVariable(const CHAR16*, const EFI_GUID*, UINT32*, UINTN*, VOID*) override {
    calls_.Bump("Variables.Unserved");
    return EFI_NOT_FOUND;
  }
  EFI_STATUS SetVariable(const CHAR16*, const EFI_GUID*, UINT32, UINTN, const VOID*) override {
    calls_.Bump("Variables.Refused");
    return EFI_WRITE_PROTECTED;
  }

 private:
  CallCounter& calls_;
};

}  // namespace sim
