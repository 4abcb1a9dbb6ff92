// The SMM Base2 protocol and the SMM system table's pool services. The board decides whether the driver
// runs inside SMM. SMM pool buffers come from the platform's pool (so accounting, leak reports and failure
// injection cover them) and are tracked, so that mixing SMM and boot-services pool is reported.
#pragma once
#include <cstdint>
#include <set>

#include "sim/common/violations.h"
#include "sim/dxe/call_counter.h"
#include "uefi/protocols/smm_base2.h"

namespace sim {

class DxePlatform;
class PoolAllocator;

class SmmServices {
 public:
  SmmServices(Violations& violations, CallCounter& calls, PoolAllocator& pool, bool in_smm);
  ~SmmServices();
  SmmServices(const SmmServices&) = delete;
  SmmServices& operator=(const SmmServices&) = delete;

  EFI_SMM_BASE2_PROTOCOL* Protocol() { return &instance_.protocol; }
  EFI_SMM_SYSTEM_TABLE2* SystemTable() { return &smst_; }
  bool InSmm() const { return in_smm_; }

  // SmmAllocatePool: only inside SMM (outside it is a violation and EFI_UNSUPPORTED), only the SMRAM pool
  // types EfiRuntimeServicesCode/Data (others: violation and EFI_INVALID_PARAMETER).
  EFI_STATUS Allocate(EFI_MEMORY_TYPE type, UINTN size, VOID** buffer);
  // SmmFreePool: a buffer that did not come from SmmAllocatePool is a violation and EFI_INVALID_PARAMETER.
  EFI_STATUS Free(VOID* buffer);

  size_t Allocations() const { return allocations_; }
  size_t LiveBuffers() const { return live_.size(); }
  // SMM buffers that are no longer live in the pool although SmmFreePool never released them (they were
  // released with the boot-services FreePool): reported as violations.
  void CheckPools(Violations& violations);

 private:
  struct Instance {
    EFI_SMM_BASE2_PROTOCOL protocol;  // first member: `This` converts back to the instance
    SmmServices* services;
  };
  static EFI_STATUS EFIAPI InSmmThunk(const EFI_SMM_BASE2_PROTOCOL* This, BOOLEAN* InSmram);
  static EFI_STATUS EFIAPI GetSmstThunk(const EFI_SMM_BASE2_PROTOCOL* This, EFI_SMM_SYSTEM_TABLE2** Smst);
  static EFI_STATUS EFIAPI AllocateThunk(EFI_MEMORY_TYPE PoolType, UINTN Size, VOID** Buffer);
  static EFI_STATUS EFIAPI FreeThunk(VOID* Buffer);

  Violations& violations_;
  CallCounter& calls_;
  PoolAllocator& pool_;
  bool in_smm_;
  Instance instance_;
  EFI_SMM_SYSTEM_TABLE2 smst_;
  std::set<const void*> live_;
  size_t allocations_ = 0;
};

// Creates the SMM services on the platform (kept alive by it), installs the SMM Base2 protocol on a new
// handle and adds the end-of-run pool check. Returns the services.
SmmServices& InstallSmm(DxePlatform& platform, bool in_smm);

}  // namespace sim
