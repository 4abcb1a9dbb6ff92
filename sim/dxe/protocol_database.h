// Handles and the protocol interfaces installed on them, in installation order.
// A protocol can be marked absent: lookups then behave as if it had never been installed.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "uefi/base_types.h"
#include "uefi/guid.h"
#include "uefi/status.h"

namespace sim {

class ProtocolDatabase {
 public:
  // A fresh handle with no protocols (handles are distinct non-null pointers owned by the database).
  EFI_HANDLE NewHandle(std::string name);
  // InstallProtocolInterface semantics: *handle null creates a handle; the same GUID twice on one
  // handle is EFI_INVALID_PARAMETER.
  EFI_STATUS Install(EFI_HANDLE* handle, const EFI_GUID& guid, void* interface);
  // Convenience: installs on a new handle and returns it.
  EFI_HANDLE InstallOnNewHandle(const EFI_GUID& guid, void* interface, std::string handle_name);
  EFI_STATUS Uninstall(EFI_HANDLE handle, const EFI_GUID& guid);

  // LocateProtocol: the first installed instance (EFI_NOT_FOUND when none or absent).
  EFI_STATUS Locate(const EFI_GUID& guid, void** interface) const;
  // HandleProtocol: EFI_UNSUPPORTED when the handle does not carry it, EFI_INVALID_PARAMETER for an unknown handle.
  EFI_STATUS Lookup(EFI_HANDLE handle, const EFI_GUID& guid, void** interface) const;
  // Handles carrying the protocol, in the order the protocol was installed on them.
  std::vector<EFI_HANDLE> HandlesWith(const EFI_GUID& guid) const;
  // All known handles in creation order.
  std::vector<EFI_HANDLE> AllHandles() const;
  bool IsHandle(EFI_HANDLE handle) const;
  std::string HandleName(EFI_HANDLE handle) const;

  void MarkAbsent(const EFI_GUID& guid);
  bool IsAbsent(const EFI_GUID& guid) const;

 private:
  struct Installation {
    EFI_GUID guid;
    void* interface;
    uint64_t order;
  };
  struct HandleRecord {
    std::string name;
    std::vector<Installation> protocols;
  };
  const HandleRecord* Find(EFI_HANDLE handle) const;

  std::deque<HandleRecord> handles_;  // stable addresses: a handle is the address of its record
  std::vector<EFI_GUID> absent_;
  uint64_t next_order_ = 0;
};

}  // namespace sim
