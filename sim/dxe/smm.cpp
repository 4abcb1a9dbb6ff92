// The SMM Base2 protocol and the SMM system table's pool services.
#include "sim/dxe/smm.h"

#include <cstring>
#include <memory>
#include <string>

#include "sim/dxe/dxe_platform.h"
#include "sim/dxe/pool_allocator.h"

namespace sim {
namespace {

// The SMM pool services take no `This`; they reach the live instance (one platform exists at a time).
SmmServices* current = nullptr;

constexpr uint64_t kSmstSignature = 0x54534D53;  // "SMST"

}  // namespace

SmmServices::SmmServices(Violations& violations, CallCounter& calls, PoolAllocator& pool, bool in_smm)
    : violations_(violations), calls_(calls), pool_(pool), in_smm_(in_smm) {
  std::memset(&instance_, 0, sizeof(instance_));
  std::memset(&smst_, 0, sizeof(smst_));
  instance_.protocol.InSmm = &SmmServices::InSmmThunk;
  instance_.protocol.GetSmstLocation = &SmmServices::GetSmstThunk;
  instance_.services = this;
  smst_.Hdr.Signature = kSmstSignature;
  smst_.Hdr.HeaderSize = sizeof(smst_);
  smst_.SmmAllocatePool = &SmmServices::AllocateThunk;
  smst_.SmmFreePool = &SmmServices::FreeThunk;
  smst_.NumberOfCpus = 1;
  current = this;
}

SmmServices::~SmmServices() {
  if (current == this) current = nullptr;
}

EFI_STATUS SmmServices::Allocate(EFI_MEMORY_TYPE type, UINTN size, VOID** buffer) {
  calls_.Bump("SmmAllocatePool");
  ++allocations_;
  if (!in_smm_) {
    violations_.Report("SmmAllocatePool called outside SMM");
    return EFI_UNSUPPORTED;
  }
  if (type != EfiRuntimeServicesCode && type != EfiRuntimeServicesData) {
    violations_.Report("SmmAllocatePool with pool type " + std::to_string(type) +
                       " (SMRAM pool is EfiRuntimeServicesCode or EfiRuntimeServicesData)");
    return EFI_INVALID_PARAMETER;
  }
  EFI_STATUS status = pool_.Allocate(type, size, buffer);
  if (!EFI_ERROR(status) && buffer != nullptr) live_.insert(*buffer);
  return status;
}

EFI_STATUS SmmServices::Free(VOID* buffer) {
  calls_.Bump("SmmFreePool");
  if (live_.erase(buffer) == 0) {
    violations_.Report("SmmFreePool of a buffer that SmmAllocatePool did not hand out");
    return EFI_INVALID_PARAMETER;
  }
  return pool_.Free(buffer);
}

void SmmServices::CheckPools(Violations& violations) {
  for (auto it = live_.begin(); it != live_.end();) {
    if (!pool_.IsLive(*it)) {
      violations.Report("an SMM pool buffer was released with the boot-services FreePool");
      it = live_.erase(it);
    } else {
      ++it;
    }
  }
}

EFI_STATUS EFIAPI SmmServices::InSmmThunk(const EFI_SMM_BASE2_PROTOCOL* This, BOOLEAN* InSmram) {
  if (This == nullptr || InSmram == nullptr) return EFI_INVALID_PARAMETER;
  SmmServices* self = reinterpret_cast<const Instance*>(This)->services;
  self->calls_.Bump("SmmBase2.InSmm");
  *InSmram = self->in_smm_ ? TRUE : FALSE;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI SmmServices::GetSmstThunk(const EFI_SMM_BASE2_PROTOCOL* This, EFI_SMM_SYSTEM_TABLE2** Smst) {
  if (This == nullptr || Smst == nullptr) return EFI_INVALID_PARAMETER;
  SmmServices* self = reinterpret_cast<const Instance*>(This)->services;
  self->calls_.Bump("SmmBase2.GetSmstLocation");
  if (!self->in_smm_) return EFI_UNSUPPORTED;
  *Smst = &self->smst_;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI SmmServices::AllocateThunk(EFI_MEMORY_TYPE PoolType, UINTN Size, VOID** Buffer) {
  if (current == nullptr) return EFI_UNSUPPORTED;
  return current->Allocate(PoolType, Size, Buffer);
}

EFI_STATUS EFIAPI SmmServices::FreeThunk(VOID* Buffer) {
  if (current == nullptr) return EFI_UNSUPPORTED;
  return current->Free(Buffer);
}

SmmServices& InstallSmm(DxePlatform& platform, bool in_smm) {
  auto& smm =
      platform.Keep(std::make_shared<SmmServices>(platform.Violations(), platform.Calls(), platform.Pool(), in_smm));
  EFI_GUID guid = EFI_SMM_BASE2_PROTOCOL_GUID;
  platform.Protocols().InstallOnNewHandle(guid, smm.Protocol(), "SMM Base2");
  platform.AddEndOfRunCheck([&smm](Violations& violations) { smm.CheckPools(violations); });
  return smm;
}

}  // namespace sim
