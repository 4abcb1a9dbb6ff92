// The services a DXE platform hands an emulated driver, by host entry point, each with the rule its pointer
// arguments are checked by; the tables and interfaces those services hand out are lent to the image as they go.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "sim/dxe/dxe_platform.h"
#include "sim/image/guest_reach.h"
#include "sim/image/image_machine.h"
#include "sim/image/service_rules.h"

namespace sim {

class DxeServiceCatalog : public HostServiceGate {
 public:
  // Lends the platform's system table, boot and runtime services and firmware vendor (read-only), its live pool
  // buffers and SMBIOS records (read-write, as long as they live) to `reach`, and catalogues the services of
  // those tables. Interfaces are lent as the image is handed them (LocateProtocol, HandleProtocol, the SMM
  // system table); the loaded-image protocol of the image handle at once.
  DxeServiceCatalog(DxePlatform& platform, GuestReach& reach);

  bool IsService(uint64_t function) const override;
  uint64_t Call(uint64_t function, const TrapCall& call, std::string& refusal) override;

  // The rule of a catalogued entry point (nullptr when the platform handed out no service there).
  const ServiceRule* Rule(uint64_t function) const;
  // Whether `address` is an interface of the protocol lent to the image.
  bool IsInterface(uint64_t address, const EFI_GUID& guid) const;
  // Lends an interface of a protocol whose layout the catalogue knows, and catalogues its functions; an
  // interface of another protocol (e.g. one the image installed in its own memory) is left as it is.
  void LendInterface(const EFI_GUID& guid, const void* interface);

 private:
  void AddFunction(const void* table, size_t offset, ServiceRule rule);
  void After(const ServiceRule& rule, const TrapCall& call, uint64_t result);

  DxePlatform& platform_;
  GuestReach& reach_;
  std::map<uint64_t, ServiceRule> rules_;    // entry point -> rule
  std::map<uint64_t, EFI_GUID> interfaces_;  // lent interface -> its protocol
};

}  // namespace sim
