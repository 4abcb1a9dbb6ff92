// The simulated DXE platform: boot and runtime services, protocol database, pool, SMBIOS table, PCD store,
// loaded image, callback registry and HII database, reachable from module code through a real system table.
// A platform is a PlatformContext: creating one attaches it (it becomes current: its services and bus are the ones
// module code reaches), destroying it detaches it, and the platform attached before it is current again.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/common/mmio_bus.h"
#include "sim/common/platform_context.h"
#include "sim/common/violations.h"
#include "sim/common/virtual_clock.h"
#include "sim/dxe/call_counter.h"
#include "sim/dxe/callback_registry.h"
#include "sim/dxe/hii_database.h"
#include "sim/dxe/pcd_store.h"
#include "sim/dxe/pool_allocator.h"
#include "sim/dxe/protocol_database.h"
#include "sim/dxe/run_summary.h"
#include "sim/dxe/smbios_table.h"
#include "sim/dxe/variable_service.h"
#include "uefi/protocols/loaded_image.h"
#include "uefi/system_table.h"

namespace sim {

class DxePlatform : public PlatformContext {
 public:
  // Builds the tables and installs the SMBIOS, PCD, HII database and callback-registry protocols (each on its
  // own handle) and the loaded-image protocol on the image handle. The new platform becomes current.
  DxePlatform();
  ~DxePlatform();
  DxePlatform(const DxePlatform&) = delete;
  DxePlatform& operator=(const DxePlatform&) = delete;

  // The attached platform context when it is a DXE platform, else nullptr. Service functions without a `This`
  // reach the platform through it.
  static DxePlatform* Current();

  // What module code receives.
  EFI_SYSTEM_TABLE* SystemTable() { return &system_table_; }
  EFI_BOOT_SERVICES* BootServices() { return &boot_services_; }
  EFI_RUNTIME_SERVICES* RuntimeServices() { return &runtime_services_; }
  EFI_HANDLE ImageHandle() const { return image_handle_; }
  EFI_LOADED_IMAGE_PROTOCOL* LoadedImage() { return &loaded_image_; }
  // The GUID in the image's firmware-volume file node (default PLATFORM_SMBIOS_DRIVER_FILE_GUID).
  void SetImageFileGuid(const EFI_GUID& guid);

  // The parts, for tests and for the models that plug into the platform.
  sim::Violations& Violations() { return violations(); }
  VirtualClock& Clock() { return clock_; }
  MmioBus& Bus() { return bus(); }
  CallCounter& Calls() { return calls_; }
  PoolAllocator& Pool() { return pool_; }
  ProtocolDatabase& Protocols() { return protocols_; }
  SmbiosTable& Smbios() { return smbios_; }
  PcdStore& Pcd() { return pcd_; }
  CallbackRegistry& Registry() { return registry_; }
  HiiDatabase& Hii() { return hii_; }

  // GetVariable/SetVariable go to this service (default: an EmptyVariableService).
  void SetVariableService(std::shared_ptr<VariableService> service);
  VariableService& Variables() { return *variables_; }

  // GetTime answers this wall-clock time advanced by the virtual clock (default 2026-01-01 00:00:00).
  void SetTime(const EFI_TIME& time) { time_ = time; }

  // Fault injection (see PoolAllocator; counted in allocation attempts from now) and absent protocols.
  void FailAllocation(uint64_t nth_from_now) { pool_.FailAllocation(nth_from_now); }
  void FailAllocationsFrom(uint64_t nth_from_now) { pool_.FailAllocationsFrom(nth_from_now); }
  void MarkProtocolAbsent(const EFI_GUID& guid) { protocols_.MarkAbsent(guid); }

  // Declares PCI enumeration complete: the registry calls its callbacks (once).
  CallbackOutcome DeclareEnumerationComplete() { return registry_.DeclareEnumerationComplete(); }

  // Keeps an object (a device model, a fake) alive as long as the platform; it is destroyed before the
  // platform's own parts. Returns the object.
  template <class T>
  T& Keep(std::shared_ptr<T> object) {
    kept_.push_back(object);
    return *object;
  }
  // A check run by FinishRun (e.g. a scripted fake verifying its script was consumed).
  void AddEndOfRunCheck(std::function<void(sim::Violations&)> check) { end_checks_.push_back(std::move(check)); }

  // End of run: reports pool leaks, damaged pool guards, damaged SMBIOS records and the end-of-run checks
  // as violations, and returns the summary. Later calls return a fresh summary without reporting again.
  RunSummary FinishRun();
  // The summary as it stands, without end-of-run checks.
  RunSummary Summary() const;

  // Reports a violation naming a service slot the module called that the platform does not implement.
  void ReportUnimplemented(const char* service);

 private:
  void BuildTables();
  void BuildLoadedImage();

  VirtualClock clock_;
  CallCounter calls_;
  PoolAllocator pool_;
  ProtocolDatabase protocols_;
  SmbiosTable smbios_;
  PcdStore pcd_;
  CallbackRegistry registry_;
  HiiDatabase hii_;
  std::shared_ptr<VariableService> variables_;
  EFI_TIME time_;

  EFI_SYSTEM_TABLE system_table_;
  EFI_BOOT_SERVICES boot_services_;
  EFI_RUNTIME_SERVICES runtime_services_;
  EFI_HANDLE image_handle_ = nullptr;
  EFI_LOADED_IMAGE_PROTOCOL loaded_image_;
  std::vector<uint8_t> file_path_;  // firmware-volume file node + end node
  bool finished_ = false;

  std::vector<std::function<void(sim::Violations&)>> end_checks_;
  std::vector<std::shared_ptr<void>> kept_;  // last member: destroyed first

  friend struct RuntimeThunks;
};

}  // namespace sim
