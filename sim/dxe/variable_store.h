// A variable store behind GetVariable/SetVariable with UEFI semantics (attributes, sizes in and out,
// EFI_BUFFER_TOO_SMALL with the needed size, deletion), a log of every access, and fault switches.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/dxe/variable_service.h"
#include "uefi/system_table.h"

namespace sim {

class DxePlatform;

struct StoredVariable {
  std::u16string name;
  EFI_GUID vendor;
  uint32_t attributes;
  std::vector<uint8_t> data;
  bool written = false;  // by SetVariable, or carried over from an NVRAM file (what such a file keeps)
};

// One call the module made, with what it got back.
struct VariableAccess {
  bool write;
  std::u16string name;
  EFI_GUID vendor;
  EFI_STATUS status;
  size_t size;  // Get: the size reported back; Set: the size written
};

class VariableStore : public VariableService {
 public:
  // The attribute bits the store supports; others are EFI_UNSUPPORTED on SetVariable.
  static constexpr uint32_t kSupportedAttributes =
      EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS;

  // GetVariable: EFI_INVALID_PARAMETER for a null name, vendor or size, or a null buffer with a non-zero size;
  // EFI_NOT_FOUND; EFI_BUFFER_TOO_SMALL with *data_size set to the size needed (nothing written); else the data,
  // its size and (when asked) its attributes.
  EFI_STATUS GetVariable(const CHAR16* name, const EFI_GUID* vendor, UINT32* attributes, UINTN* data_size,
                         VOID* data) override;
  // SetVariable: size 0 or attributes 0 deletes (EFI_NOT_FOUND when absent); runtime access needs boot-service
  // access; an existing variable keeps its attributes (a different set is EFI_INVALID_PARAMETER); unknown bits
  // EFI_UNSUPPORTED; EFI_OUT_OF_RESOURCES past the capacity; EFI_WRITE_PROTECTED while write-protected.
  EFI_STATUS SetVariable(const CHAR16* name, const EFI_GUID* vendor, UINT32 attributes, UINTN data_size,
                         const VOID* data) override;

  // Host side: puts a variable as given (no checks; replaces one of the same name and vendor). `written` marks
  // it as firmware-written (see StoredVariable); board data is not.
  void Put(const std::u16string& name, const EFI_GUID& vendor, uint32_t attributes, std::vector<uint8_t> data,
           bool written = false);
  bool Erase(const std::u16string& name, const EFI_GUID& vendor);
  const StoredVariable* Find(const std::u16string& name, const EFI_GUID& vendor) const;
  const std::vector<StoredVariable>& All() const { return variables_; }

  // Faults: every SetVariable refused with EFI_WRITE_PROTECTED; a limit on the total data bytes held.
  void SetWriteProtected(bool on) { write_protected_ = on; }
  void SetCapacity(std::optional<size_t> bytes) { capacity_ = bytes; }

  const std::vector<VariableAccess>& Log() const { return log_; }
  size_t Reads(const std::u16string& name) const;
  size_t Writes(const std::u16string& name) const;

 private:
  StoredVariable* FindMutable(const std::u16string& name, const EFI_GUID& vendor);
  size_t DataBytes() const;
  EFI_STATUS LogAccess(bool write, const CHAR16* name, const EFI_GUID* vendor, EFI_STATUS status, size_t size);

  std::vector<StoredVariable> variables_;  // in creation order
  std::vector<VariableAccess> log_;
  bool write_protected_ = false;
  std::optional<size_t> capacity_;
};

// The platform's variable store: the one plugged in, or a fresh empty store plugged in now.
VariableStore& PlatformVariableStore(DxePlatform& platform);

// "PSU1" from u"PSU1", with non-ASCII characters as \uXXXX (for messages and reports).
std::string VariableNameToString(const std::u16string& name);
std::u16string VariableNameFromString(const std::string& name);

}  // namespace sim
