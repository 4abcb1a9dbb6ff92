// The simulated DXE platform: the system table and the boot and runtime services that reach it.
#include "sim/dxe/dxe_platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/dxe/driver_file_guid.h"
#include "sim/dxe/unimplemented_service.h"
#include "uefi/protocols/hii_database.h"
#include "uefi/protocols/pcd.h"
#include "uefi/protocols/platform_callback_registry.h"
#include "uefi/protocols/smbios.h"

namespace sim {

namespace {

// The platform a service function serves: the attached one. Module code reaches these functions only through a
// platform's own tables, so another context on top is a programming error of the simulator's user.
DxePlatform& Current() {
  DxePlatform* platform = DxePlatform::Current();
  if (platform == nullptr) {
    std::fprintf(stderr, "simulator: a DXE service was called while no DXE platform is attached\n");
    std::abort();
  }
  return *platform;
}

constexpr UINT32 kEfiNativeInterface = 0;

// Boot services.
EFI_STATUS EFIAPI AllocatePool(EFI_MEMORY_TYPE type, UINTN size, VOID** buffer) {
  Current().Calls().Bump("AllocatePool");
  return Current().Pool().Allocate(type, size, buffer);
}

EFI_STATUS EFIAPI FreePool(VOID* buffer) {
  Current().Calls().Bump("FreePool");
  return Current().Pool().Free(buffer);
}

EFI_STATUS EFIAPI InstallProtocolInterface(EFI_HANDLE* handle, EFI_GUID* protocol, UINT32 interface_type,
                                           VOID* interface) {
  DxePlatform& p = Current();
  p.Calls().Bump("InstallProtocolInterface");
  if (handle == nullptr || protocol == nullptr || interface_type != kEfiNativeInterface) return EFI_INVALID_PARAMETER;
  return p.Protocols().Install(handle, *protocol, interface);
}

EFI_STATUS EFIAPI UninstallProtocolInterface(EFI_HANDLE handle, EFI_GUID* protocol, VOID*) {
  Current().Calls().Bump("UninstallProtocolInterface");
  if (protocol == nullptr) return EFI_INVALID_PARAMETER;
  return Current().Protocols().Uninstall(handle, *protocol);
}

EFI_STATUS EFIAPI HandleProtocol(EFI_HANDLE handle, EFI_GUID* protocol, VOID** interface) {
  DxePlatform& p = Current();
  p.Calls().Bump("HandleProtocol");
  if (protocol == nullptr || interface == nullptr) {
    p.Violations().Report("HandleProtocol called with a null protocol GUID or interface pointer");
    return EFI_INVALID_PARAMETER;
  }
  *interface = nullptr;
  return p.Protocols().Lookup(handle, *protocol, interface);
}

EFI_STATUS EFIAPI LocateHandleBuffer(EFI_LOCATE_SEARCH_TYPE search, EFI_GUID* protocol, VOID*, UINTN* count,
                                     EFI_HANDLE** buffer) {
  DxePlatform& p = Current();
  p.Calls().Bump("LocateHandleBuffer");
  if (count == nullptr || buffer == nullptr) {
    p.Violations().Report("LocateHandleBuffer called with a null count or buffer pointer");
    return EFI_INVALID_PARAMETER;
  }
  *count = 0;
  *buffer = nullptr;
  std::vector<EFI_HANDLE> handles;
  if (search == ByProtocol) {
    if (protocol == nullptr) return EFI_INVALID_PARAMETER;
    handles = p.Protocols().HandlesWith(*protocol);
  } else if (search == AllHandles) {
    handles = p.Protocols().AllHandles();
  } else {
    p.Violations().Report("LocateHandleBuffer with search type " + std::to_string(static_cast<unsigned>(search)) +
                          ": only AllHandles and ByProtocol are simulated");
    return EFI_INVALID_PARAMETER;
  }
  if (handles.empty()) return EFI_NOT_FOUND;
  VOID* array = nullptr;
  if (p.Pool().Allocate(EfiBootServicesData, handles.size() * sizeof(EFI_HANDLE), &array) != EFI_SUCCESS) {
    return EFI_OUT_OF_RESOURCES;
  }
  std::memcpy(array, handles.data(), handles.size() * sizeof(EFI_HANDLE));
  *count = handles.size();
  *buffer = static_cast<EFI_HANDLE*>(array);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI LocateProtocol(EFI_GUID* protocol, VOID* registration, VOID** interface) {
  DxePlatform& p = Current();
  p.Calls().Bump("LocateProtocol");
  if (protocol == nullptr || interface == nullptr) {
    p.Violations().Report("LocateProtocol called with a null protocol GUID or interface pointer");
    return EFI_INVALID_PARAMETER;
  }
  if (registration != nullptr) {
    p.Violations().Report("LocateProtocol with a registration key: protocol notifications are not simulated");
  }
  *interface = nullptr;
  return p.Protocols().Locate(*protocol, interface);
}

EFI_STATUS EFIAPI Stall(UINTN microseconds) {
  Current().Calls().Bump("Stall");
  Current().Clock().Advance(microseconds);
  return EFI_SUCCESS;
}

VOID EFIAPI CopyMem(VOID* destination, VOID* source, UINTN length) {
  Current().Calls().Bump("CopyMem");
  if (length != 0) std::memmove(destination, source, length);  // a zero length may come with null pointers
}

VOID EFIAPI SetMem(VOID* buffer, UINTN size, UINT8 value) {
  Current().Calls().Bump("SetMem");
  if (size != 0) std::memset(buffer, value, size);
}

// Runtime services.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

}  // namespace

// GetTime needs the platform's base time, so it is a member-reaching function outside the anonymous namespace.
struct RuntimeThunks {
  static EFI_STATUS EFIAPI GetTime(EFI_TIME* time, VOID* capabilities) {
    DxePlatform& p = Current();
    p.Calls().Bump("GetTime");
    if (time == nullptr) return EFI_INVALID_PARAMETER;
    // EFI_TIME_CAPABILITIES: Resolution, Accuracy (UINT32 each), SetsToZero (BOOLEAN), 12 bytes with padding.
    if (capabilities != nullptr) std::memset(capabilities, 0, 12);
    const EFI_TIME& base = p.time_;
    int64_t seconds = DaysFromCivil(base.Year, base.Month, base.Day) * 86400 + base.Hour * 3600 + base.Minute * 60 +
                      base.Second + static_cast<int64_t>(p.Clock().NowMicroseconds() / 1000000);
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    int64_t year;
    unsigned month, day;
    CivilFromDays(days, &year, &month, &day);
    *time = base;
    time->Year = static_cast<UINT16>(year);
    time->Month = static_cast<UINT8>(month);
    time->Day = static_cast<UINT8>(day);
    time->Hour = static_cast<UINT8>(rest / 3600);
    time->Minute = static_cast<UINT8>(rest / 60 % 60);
    time->Second = static_cast<UINT8>(rest % 60);
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI GetVariable(CHAR16* name, EFI_GUID* vendor, UINT32* attributes, UINTN* size, VOID* data) {
    DxePlatform& p = Current();
    p.Calls().Bump("GetVariable");
    if (name == nullptr || vendor == nullptr || size == nullptr) return EFI_INVALID_PARAMETER;
    return p.Variables().GetVariable(name, vendor, attributes, size, data);
  }
  static EFI_STATUS EFIAPI SetVariable(CHAR16* name, EFI_GUID* vendor, UINT32 attributes, UINTN size, VOID* data) {
    DxePlatform& p = Current();
    p.Calls().Bump("SetVariable");
    if (name == nullptr || vendor == nullptr) return EFI_INVALID_PARAMETER;
    return p.Variables().SetVariable(name, vendor, attributes, size, data);
  }
};

namespace {

uint32_t Crc32(const void* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

template <class Table>
void SealHeader(Table& table, UINT64 signature, UINT32 revision) {
  table.Hdr.Signature = signature;
  table.Hdr.Revision = revision;
  table.Hdr.HeaderSize = sizeof(Table);
  table.Hdr.CRC32 = 0;
  table.Hdr.Reserved = 0;
  table.Hdr.CRC32 = Crc32(&table, sizeof(Table));
}

constexpr UINT32 kUefiRevision = (2u << 16) | 70u;
char16_t kFirmwareVendor[] = u"Simulated platform";

}  // namespace

DxePlatform* DxePlatform::Current() { return dynamic_cast<DxePlatform*>(&CurrentPlatform()); }

DxePlatform::DxePlatform()
    : pool_(violations()),
      smbios_(violations(), calls_, &pool_),
      pcd_(violations(), calls_),
      registry_(violations(), calls_),
      hii_(violations(), calls_, &pool_),
      variables_(std::make_shared<EmptyVariableService>(calls_)) {
  Attach();
  time_ = EFI_TIME{2026, 1, 1, 0, 0, 0, 0, 0, 0x07FF, 0, 0};  // 0x07FF: time zone unspecified
  BuildTables();
  image_handle_ = protocols_.NewHandle("image");
  BuildLoadedImage();
  protocols_.Install(&image_handle_, EFI_LOADED_IMAGE_PROTOCOL_GUID, &loaded_image_);
  protocols_.InstallOnNewHandle(EFI_SMBIOS_PROTOCOL_GUID, smbios_.Protocol(), "smbios");
  protocols_.InstallOnNewHandle(PCD_PROTOCOL_GUID, pcd_.Protocol(), "pcd");
  protocols_.InstallOnNewHandle(EFI_HII_DATABASE_PROTOCOL_GUID, hii_.Protocol(), "hii database");
  protocols_.InstallOnNewHandle(PLATFORM_CALLBACK_REGISTRY_GUID, registry_.Protocol(), "callback registry");
}

DxePlatform::~DxePlatform() {
  kept_.clear();
  end_checks_.clear();
  Detach();
}

void DxePlatform::BuildTables() {
  auto slot = [](const char* name) { return UnimplementedService(name); };
  std::memset(&boot_services_, 0, sizeof boot_services_);
  EFI_BOOT_SERVICES& bs = boot_services_;
  bs.RaiseTPL = slot("BootServices.RaiseTPL");
  bs.RestoreTPL = slot("BootServices.RestoreTPL");
  bs.AllocatePages = slot("BootServices.AllocatePages");
  bs.FreePages = slot("BootServices.FreePages");
  bs.GetMemoryMap = slot("BootServices.GetMemoryMap");
  bs.AllocatePool = &AllocatePool;
  bs.FreePool = &FreePool;
  bs.CreateEvent = slot("BootServices.CreateEvent");
  bs.SetTimer = slot("BootServices.SetTimer");
  bs.WaitForEvent = slot("BootServices.WaitForEvent");
  bs.SignalEvent = slot("BootServices.SignalEvent");
  bs.CloseEvent = slot("BootServices.CloseEvent");
  bs.CheckEvent = slot("BootServices.CheckEvent");
  bs.InstallProtocolInterface = &InstallProtocolInterface;
  bs.ReinstallProtocolInterface = slot("BootServices.ReinstallProtocolInterface");
  bs.UninstallProtocolInterface = reinterpret_cast<void*>(&UninstallProtocolInterface);
  bs.HandleProtocol = &HandleProtocol;
  bs.Reserved = slot("BootServices.Reserved");
  bs.RegisterProtocolNotify = slot("BootServices.RegisterProtocolNotify");
  bs.LocateHandle = slot("BootServices.LocateHandle");
  bs.LocateDevicePath = slot("BootServices.LocateDevicePath");
  bs.InstallConfigurationTable = slot("BootServices.InstallConfigurationTable");
  bs.LoadImage = slot("BootServices.LoadImage");
  bs.StartImage = slot("BootServices.StartImage");
  bs.Exit = slot("BootServices.Exit");
  bs.UnloadImage = slot("BootServices.UnloadImage");
  bs.ExitBootServices = slot("BootServices.ExitBootServices");
  bs.GetNextMonotonicCount = slot("BootServices.GetNextMonotonicCount");
  bs.Stall = &Stall;
  bs.SetWatchdogTimer = slot("BootServices.SetWatchdogTimer");
  bs.ConnectController = slot("BootServices.ConnectController");
  bs.DisconnectController = slot("BootServices.DisconnectController");
  bs.OpenProtocol = slot("BootServices.OpenProtocol");
  bs.CloseProtocol = slot("BootServices.CloseProtocol");
  bs.OpenProtocolInformation = slot("BootServices.OpenProtocolInformation");
  bs.ProtocolsPerHandle = slot("BootServices.ProtocolsPerHandle");
  bs.LocateHandleBuffer = &LocateHandleBuffer;
  bs.LocateProtocol = &LocateProtocol;
  bs.InstallMultipleProtocolInterfaces = slot("BootServices.InstallMultipleProtocolInterfaces");
  bs.UninstallMultipleProtocolInterfaces = slot("BootServices.UninstallMultipleProtocolInterfaces");
  bs.CalculateCrc32 = slot("BootServices.CalculateCrc32");
  bs.CopyMem = reinterpret_cast<void*>(&CopyMem);
  bs.SetMem = reinterpret_cast<void*>(&SetMem);
  bs.CreateEventEx = slot("BootServices.CreateEventEx");
  SealHeader(bs, EFI_BOOT_SERVICES_SIGNATURE, kUefiRevision);

  std::memset(&runtime_services_, 0, sizeof runtime_services_);
  EFI_RUNTIME_SERVICES& rt = runtime_services_;
  rt.GetTime = &RuntimeThunks::GetTime;
  rt.SetTime = slot("RuntimeServices.SetTime");
  rt.GetWakeupTime = slot("RuntimeServices.GetWakeupTime");
  rt.SetWakeupTime = slot("RuntimeServices.SetWakeupTime");
  rt.SetVirtualAddressMap = slot("RuntimeServices.SetVirtualAddressMap");
  rt.ConvertPointer = slot("RuntimeServices.ConvertPointer");
  rt.GetVariable = &RuntimeThunks::GetVariable;
  rt.GetNextVariableName = slot("RuntimeServices.GetNextVariableName");
  rt.SetVariable = &RuntimeThunks::SetVariable;
  rt.GetNextHighMonotonicCount = slot("RuntimeServices.GetNextHighMonotonicCount");
  rt.ResetSystem = slot("RuntimeServices.ResetSystem");
  rt.UpdateCapsule = slot("RuntimeServices.UpdateCapsule");
  rt.QueryCapsuleCapabilities = slot("RuntimeServices.QueryCapsuleCapabilities");
  rt.QueryVariableInfo = slot("RuntimeServices.QueryVariableInfo");
  SealHeader(rt, EFI_RUNTIME_SERVICES_SIGNATURE, kUefiRevision);

  std::memset(&system_table_, 0, sizeof system_table_);
  system_table_.FirmwareVendor = kFirmwareVendor;
  system_table_.FirmwareRevision = 0x00010000;
  system_table_.RuntimeServices = &runtime_services_;
  system_table_.BootServices = &boot_services_;
  SealHeader(system_table_, EFI_SYSTEM_TABLE_SIGNATURE, kUefiRevision);
}

void DxePlatform::BuildLoadedImage() {
  std::memset(&loaded_image_, 0, sizeof loaded_image_);
  loaded_image_.Revision = 0x1000;
  loaded_image_.SystemTable = &system_table_;
  loaded_image_.ImageCodeType = EfiBootServicesCode;
  loaded_image_.ImageDataType = EfiBootServicesData;
  loaded_image_.Unload = UnimplementedService("LoadedImage.Unload");
  SetImageFileGuid(EFI_GUID PLATFORM_SMBIOS_DRIVER_FILE_GUID);
}

void DxePlatform::SetImageFileGuid(const EFI_GUID& guid) {
  MEDIA_FW_VOL_FILEPATH_DEVICE_PATH node;
  node.Header.Type = MEDIA_DEVICE_PATH;
  node.Header.SubType = MEDIA_PIWG_FW_FILE_DP;
  node.Header.Length[0] = sizeof node;
  node.Header.Length[1] = 0;
  node.FvFileName = guid;
  const EFI_DEVICE_PATH_PROTOCOL end = {END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, {4, 0}};
  file_path_.resize(sizeof node + sizeof end);
  std::memcpy(file_path_.data(), &node, sizeof node);
  std::memcpy(file_path_.data() + sizeof node, &end, sizeof end);
  loaded_image_.FilePath = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(file_path_.data());
}

void DxePlatform::SetVariableService(std::shared_ptr<VariableService> service) {
  variables_ = service ? std::move(service) : std::make_shared<EmptyVariableService>(calls_);
}

void DxePlatform::ReportUnimplemented(const char* service) {
  violations().Report(std::string(service) + " called: the simulated platform does not implement it");
}

RunSummary DxePlatform::FinishRun() {
  if (!finished_) {
    finished_ = true;
    pool_.ReportLeaks();
    smbios_.CheckIntegrity();
    for (auto& check : end_checks_) check(violations());
  }
  return Summary();
}

RunSummary DxePlatform::Summary() const {
  RunSummary s;
  s.records_by_type = smbios_.CountByType();
  s.record_count = smbios_.Count();
  s.leaks = pool_.Leaks();
  s.refused_adds = smbios_.Refusals();
  s.refused_registrations = registry_.Refusals();
  s.virtual_time_us = clock_.NowMicroseconds();
  s.pool = pool_.Stats();
  s.calls = calls_.All();
  s.violations = violations().Messages();
  return s;
}

}  // namespace sim
