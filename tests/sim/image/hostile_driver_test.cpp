// Hostile drivers in the emulator: each service family called with pointers and lengths that leave what the
// image was lent, host memory it was never lent, host code that is no service. The host survives every one; the
// call stops with a violation naming the service, the argument and the guest address of the call, and the
// host's memory is left as it was.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>

#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "sim/common/hex_text.h"
#include "sim/dxe/dxe_platform.h"
#include "sim/dxe/smm.h"
#include "sim/image/driver_image_run.h"
#include "tests/sim/image/guest_code.h"
#include "uefi/protocols/hii_database.h"
#include "uefi/protocols/ipmi_transport.h"
#include "uefi/protocols/pcd.h"
#include "uefi/protocols/pci_io.h"
#include "uefi/protocols/platform_callback_registry.h"
#include "uefi/protocols/smbios.h"
#include "uefi/protocols/smm_base2.h"
#include "uefi/status.h"

namespace {

using simtest::DriverCode;

// Host memory no image is ever lent.
uint64_t g_secret = 0x5EC2E7;
uint64_t g_target = 0;
bool g_host_function_ran = false;
extern "C" __attribute__((ms_abi)) uint64_t HostFunctionNoOneHandedOut() {
  g_host_function_ran = true;
  return 0;
}

constexpr uint32_t kBootServices = offsetof(EFI_SYSTEM_TABLE, BootServices);
constexpr uint32_t kRuntimeServices = offsetof(EFI_SYSTEM_TABLE, RuntimeServices);

std::string AllViolations(const std::vector<std::string>& violations) {
  std::string all;
  for (const std::string& v : violations) all += v + "\n";
  return all;
}

class HostileDriver : public ::testing::Test {
 protected:
  // Runs the code as the entry point of a driver on `platform`; returns the entry's status.
  EFI_STATUS Run(DriverCode& code) {
    std::string error;
    driver = sim::EmulatedDriver::LoadBytes(code.Build(), "hostile driver", error);
    EXPECT_NE(driver, nullptr) << error;
    if (!driver) return EFI_ABORTED;
    return driver->RunEntry(platform->ImageHandle(), platform->SystemTable());
  }
  // The entry stopped and exactly one violation says `expected` and where the call was made.
  void ExpectRefused(EFI_STATUS status, const std::string& expected) {
    EXPECT_EQ(status, EFI_ABORTED);
    const std::string all = AllViolations(platform->Violations().Messages());
    EXPECT_NE(all.find(expected), std::string::npos) << all;
    EXPECT_NE(all.find("; the call at 0x1000"), std::string::npos) << all;
  }
  // The code calls the boot (or runtime) services member at `offset` with the arguments.
  void CallService(DriverCode& code, uint32_t table, uint32_t offset, const std::vector<uint64_t>& args,
                   const std::vector<bool>& image_address = {}) {
    code.LoadSystemTableMember(table);
    code.LoadMember(offset);
    for (unsigned i = 0; i < args.size(); ++i) code.Arg(i, args[i], i < image_address.size() && image_address[i]);
    code.CallRax();
  }
  // The protocol's GUID and the slot its interface is located into, in .data.
  struct Located {
    uint64_t guid, slot;
  };
  static Located Prepare(DriverCode& code, const EFI_GUID& guid) { return {code.Guid(guid), code.Slot()}; }
  // The code locates the protocol and calls its member at `offset` with This and the other arguments.
  static void CallMember(DriverCode& code, Located located, uint32_t offset, const std::vector<uint64_t>& rest,
                         const std::vector<bool>& image_address = {}) {
    code.LocateInto(located.guid, located.slot);
    code.ThisFromRax();
    code.LoadMember(offset);
    for (unsigned i = 0; i < rest.size(); ++i) code.Arg(i + 1, rest[i], i < image_address.size() && image_address[i]);
    code.CallRax();
  }

  std::unique_ptr<sim::DxePlatform> platform = std::make_unique<sim::DxePlatform>();
  std::unique_ptr<sim::EmulatedDriver> driver;
};

// Boot services.
TEST_F(HostileDriver, CopyMemWithWildPointersIsRefusedNamingServiceArgumentAndCall) {
  DriverCode code;
  CallService(code, kBootServices, offsetof(EFI_BOOT_SERVICES, CopyMem), {0x10, 0x20, 16});
  ExpectRefused(Run(code),
                "BootServices.CopyMem: argument 0 (Destination, 16 bytes written) 0x10: 0x10 lies in "
                "nothing the platform lent the image");
}

TEST_F(HostileDriver, CopyMemAndSetMemOfNothingWithNullPointersComplete) {
  DriverCode code;
  CallService(code, kBootServices, offsetof(EFI_BOOT_SERVICES, CopyMem), {0, 0, 0});
  CallService(code, kBootServices, offsetof(EFI_BOOT_SERVICES, SetMem), {0, 0, 0});
  EXPECT_EQ(Run(code), EFI_SUCCESS) << AllViolations(platform->Violations().Messages());
  EXPECT_EQ(platform->Calls().Get("CopyMem"), 1u);
  EXPECT_EQ(platform->Calls().Get("SetMem"), 1u);
}

TEST_F(HostileDriver, CopyMemCannotReadOrWriteSimulatorMemory) {
  DriverCode read;
  const uint64_t slot = read.Slot();
  CallService(read, kBootServices, offsetof(EFI_BOOT_SERVICES, CopyMem),
              {slot, reinterpret_cast<uintptr_t>(&g_secret), 8}, {true});
  ExpectRefused(Run(read), "BootServices.CopyMem: argument 1 (Source, 8 bytes read)");

  driver.reset();  // the next image goes to the same link address
  platform = std::make_unique<sim::DxePlatform>();
  DriverCode write;
  const uint64_t data = write.Data({1, 2, 3, 4, 5, 6, 7, 8});
  CallService(write, kBootServices, offsetof(EFI_BOOT_SERVICES, CopyMem),
              {reinterpret_cast<uintptr_t>(&g_target), data, 8}, {false, true});
  ExpectRefused(Run(write), "BootServices.CopyMem: argument 0 (Destination, 8 bytes written)");
  EXPECT_EQ(g_target, 0u);
}

TEST_F(HostileDriver, SetMemOverTheBootServicesTableIsRefusedAndTheTableKept) {
  EFI_BOOT_SERVICES before;
  std::memcpy(&before, platform->BootServices(), sizeof before);
  DriverCode code;
  CallService(code, kBootServices, offsetof(EFI_BOOT_SERVICES, SetMem),
              {reinterpret_cast<uintptr_t>(platform->BootServices()), sizeof before, 0});
  ExpectRefused(Run(code), "lies in the boot services table, which the image may only read");
  EXPECT_EQ(std::memcmp(&before, platform->BootServices(), sizeof before), 0);
}

TEST_F(HostileDriver, LocateProtocolWithAWildGuidIsRefused) {
  DriverCode code;
  const uint64_t slot = code.Slot();
  CallService(code, kBootServices, offsetof(EFI_BOOT_SERVICES, LocateProtocol), {0x1000, 0, slot},
              {false, false, true});
  ExpectRefused(Run(code), "BootServices.LocateProtocol: argument 0 (Protocol, 16 bytes read) 0x1000");
  EXPECT_EQ(platform->Calls().Get("LocateProtocol"), 0u);
}

TEST_F(HostileDriver, APoolBufferIsReachableWhileLiveAndOutOfReachOnceFreed) {
  DriverCode code;
  const uint64_t slot = code.Slot();
  CallService(code, kBootServices, offsetof(EFI_BOOT_SERVICES, AllocatePool), {EfiBootServicesData, 64, slot},
              {false, false, true});
  code.LoadFrom(slot);
  code.StoreToRax(1);
  code.LoadFrom(slot);
  code.ThisFromRax();
  code.LoadSystemTableMember(kBootServices);
  code.LoadMember(offsetof(EFI_BOOT_SERVICES, FreePool));
  code.CallRax();
  code.LoadFrom(slot);
  code.StoreToRax(2);
  EXPECT_EQ(Run(code), EFI_ABORTED);
  const std::string all = AllViolations(platform->Violations().Messages());
  EXPECT_NE(all.find("the image wrote 4 bytes (value 0x2)"), std::string::npos) << all;
  EXPECT_NE(all.find("lies in nothing the platform lent the image"), std::string::npos) << all;
  EXPECT_EQ(platform->Pool().Stats().frees, 1u);
}

// A guest read that is not aligned to its size: the emulator reads the aligned words around it, and only the
// guest's own bytes may be checked against what was lent, and only they reach the guest.
class UnalignedPoolRead : public HostileDriver {
 protected:
  // The code allocates a pool buffer of `size` bytes, fills it with 0x11, 0x22, ... and leaves it in RDX.
  uint64_t FilledBuffer(DriverCode& code, uint8_t size) {
    const uint64_t slot = code.Slot();
    CallService(code, kBootServices, offsetof(EFI_BOOT_SERVICES, AllocatePool), {EfiBootServicesData, size, slot},
                {false, false, true});
    code.LoadFrom(slot);
    code.Emit({0x48, 0x89, 0xC2});  // mov rdx, rax
    for (uint8_t i = 0; i < size; ++i) code.Emit({0xC6, 0x42, i, static_cast<uint8_t>(0x11 * (i + 1))});
    return slot;
  }
  // The code stops with an invalid instruction unless RAX equals `expected`.
  static void ExpectRax(DriverCode& code, uint64_t expected) {
    code.Emit({0x48, 0xB9});  // mov rcx, expected
    for (unsigned i = 0; i < 8; ++i) code.Emit({static_cast<uint8_t>(expected >> (8 * i))});
    code.Emit({0x48, 0x39, 0xC8, 0x74, 0x02, 0x0F, 0x0B});  // cmp rax, rcx; je +2; ud2
  }
  // The run stops at a fault naming a guest read of `bytes` bytes whose last byte lies past what was lent.
  void ExpectReadFault(DriverCode& code, unsigned bytes) {
    EXPECT_EQ(Run(code), EFI_ABORTED);
    const std::string all = AllViolations(platform->Violations().Messages());
    EXPECT_NE(all.find("the image read " + std::to_string(bytes) + " bytes at 0x"), std::string::npos) << all;
    EXPECT_NE(all.find("of the range lies in nothing the platform lent the image"), std::string::npos) << all;
  }
  void FreeBuffer(DriverCode& code, uint64_t slot) {
    code.LoadFrom(slot);
    code.ThisFromRax();
    code.LoadSystemTableMember(kBootServices);
    code.LoadMember(offsetof(EFI_BOOT_SERVICES, FreePool));
    code.CallRax();
  }
};

TEST_F(UnalignedPoolRead, AWordEndingAtTheBuffersEndIsReadWhole) {
  DriverCode code;
  const uint64_t slot = FilledBuffer(code, 3);
  code.Emit({0x0F, 0xB7, 0x42, 0x01});  // movzx eax, word [rdx + 1]
  ExpectRax(code, 0x3322);
  FreeBuffer(code, slot);
  EXPECT_EQ(Run(code), EFI_SUCCESS) << AllViolations(platform->Violations().Messages());
  EXPECT_EQ(platform->Pool().Stats().frees, 1u);
}

TEST_F(UnalignedPoolRead, AQuadwordEndingAtTheBuffersEndIsReadWhole) {
  DriverCode code;
  const uint64_t slot = FilledBuffer(code, 9);
  code.Emit({0x48, 0x8B, 0x42, 0x01});  // mov rax, [rdx + 1]
  ExpectRax(code, 0x9988776655443322);
  FreeBuffer(code, slot);
  EXPECT_EQ(Run(code), EFI_SUCCESS) << AllViolations(platform->Violations().Messages());
}

TEST_F(UnalignedPoolRead, AReadOneBytePastTheEndIsAFaultNamingTheGuestsRead) {
  DriverCode code;
  FilledBuffer(code, 4);
  code.Emit({0x8B, 0x42, 0x01});  // mov eax, [rdx + 1]: its last byte is the first one past the buffer
  ExpectReadFault(code, 4);
}

TEST_F(UnalignedPoolRead, AnAlignedReadAfterAnUnalignedOneIsCheckedWhole) {
  DriverCode code;
  FilledBuffer(code, 3);
  code.Emit({0x0F, 0xB7, 0x42, 0x01});  // movzx eax, word [rdx + 1]: inside
  code.Emit({0x0F, 0xB7, 0x42, 0x02});  // movzx eax, word [rdx + 2]: one byte past
  ExpectReadFault(code, 2);
}

TEST_F(HostileDriver, AServicePointerOffItsTypesAlignmentIsRefused) {
  DriverCode code;
  const uint64_t handle = code.Slot();
  code.Slot();  // room for the handle written one byte on
  const uint64_t guid = code.Guid(EFI_SMBIOS_PROTOCOL_GUID);
  CallService(code, kBootServices, offsetof(EFI_BOOT_SERVICES, InstallProtocolInterface), {handle + 1, guid, 0, 0},
              {true, true});  // a native interface at null
  ExpectRefused(Run(code), "BootServices.InstallProtocolInterface: argument 0 (Handle, 8 bytes written)");
  const std::string all = AllViolations(platform->Violations().Messages());
  EXPECT_NE(all.find("not 8-byte aligned"), std::string::npos) << all;
}

// The guest's own loads, stores and calls.
TEST_F(HostileDriver, ReadingSimulatorMemoryThatWasNotLentIsAFault) {
  DriverCode code;
  code.LoadFrom(reinterpret_cast<uintptr_t>(&g_secret), false);
  EXPECT_EQ(Run(code), EFI_ABORTED);
  const std::string all = AllViolations(platform->Violations().Messages());
  EXPECT_NE(all.find("read 8 bytes at " + sim::Hex(reinterpret_cast<uintptr_t>(&g_secret)) +
                     ", which nothing maps and the platform did not lend it"),
            std::string::npos)
      << all;
}

TEST_F(HostileDriver, WritingTheSystemTableIsAFault) {
  EFI_SYSTEM_TABLE before = *platform->SystemTable();
  DriverCode code;
  code.Emit({0x48, 0x89, 0xD8});  // mov rax, rbx
  code.StoreToRax(0);
  EXPECT_EQ(Run(code), EFI_ABORTED);
  const std::string all = AllViolations(platform->Violations().Messages());
  EXPECT_NE(all.find("lies in the system table, which the image may only read"), std::string::npos) << all;
  EXPECT_EQ(std::memcmp(&before, platform->SystemTable(), sizeof before), 0);
}

TEST_F(HostileDriver, CallingHostCodeThatIsNoServiceIsAFaultAndRunsNothing) {
  g_host_function_ran = false;
  DriverCode code;
  code.Emit({0x48, 0xB8});  // movabs rax, the host function
  code.Emit(simtest::Le(reinterpret_cast<uintptr_t>(&HostFunctionNoOneHandedOut), 8));
  code.CallRax();
  EXPECT_EQ(Run(code), EFI_ABORTED);
  const std::string all = AllViolations(platform->Violations().Messages());
  EXPECT_NE(all.find("outside its code"), std::string::npos) << all;
  EXPECT_FALSE(g_host_function_ran);
}

TEST_F(HostileDriver, AnInterfaceTheImageInstalledNeverMakesItsFunctionPointersServices) {
  // The image installs an "SMBIOS protocol" of its own whose Add is a host function, finds it again through
  // HandleProtocol and calls Add: still host code that is no service.
  g_host_function_ran = false;
  DriverCode code;
  const uint64_t guid = code.Guid(EFI_GUID EFI_SMBIOS_PROTOCOL_GUID), handle = code.Slot(), out = code.Slot();
  std::vector<uint8_t> fake = simtest::Le(reinterpret_cast<uintptr_t>(&HostFunctionNoOneHandedOut), 8);
  fake.resize(sizeof(EFI_SMBIOS_PROTOCOL), 0);
  const uint64_t interface = code.Data(fake);
  CallService(code, kBootServices, offsetof(EFI_BOOT_SERVICES, InstallProtocolInterface), {handle, guid, 0, interface},
              {true, true, false, true});
  code.LoadFrom(handle);
  code.ThisFromRax();
  code.LoadSystemTableMember(kBootServices);
  code.LoadMember(offsetof(EFI_BOOT_SERVICES, HandleProtocol));
  code.Arg(1, guid, true);
  code.Arg(2, out, true);
  code.CallRax();
  code.LoadFrom(out);
  code.LoadMember(offsetof(EFI_SMBIOS_PROTOCOL, Add));
  code.CallRax();
  EXPECT_EQ(Run(code), EFI_ABORTED);
  const std::string all = AllViolations(platform->Violations().Messages());
  EXPECT_NE(all.find("executed at " + sim::Hex(reinterpret_cast<uintptr_t>(&HostFunctionNoOneHandedOut))),
            std::string::npos)
      << all;
  EXPECT_EQ(platform->Calls().Get("HandleProtocol"), 1u);
  EXPECT_FALSE(g_host_function_ran);
}

// Runtime services.
TEST_F(HostileDriver, GetVariableWithAWildNameIsRefused) {
  DriverCode code;
  const EFI_GUID vendor = EFI_SMBIOS_PROTOCOL_GUID;
  const uint64_t guid = code.Guid(vendor), size = code.Slot();
  CallService(code, kRuntimeServices, offsetof(EFI_RUNTIME_SERVICES, GetVariable), {0x30, guid, 0, size, 0},
              {false, true, false, true});
  ExpectRefused(Run(code), "RuntimeServices.GetVariable: argument 0 (VariableName, read) 0x30");
}

TEST_F(HostileDriver, GetTimeIntoTheBootServicesTableIsRefused) {
  DriverCode code;
  CallService(code, kRuntimeServices, offsetof(EFI_RUNTIME_SERVICES, GetTime),
              {reinterpret_cast<uintptr_t>(platform->BootServices()), 0});
  ExpectRefused(Run(code), "RuntimeServices.GetTime: argument 0 (Time, 16 bytes written)");
}

// Protocols the platform installs.
TEST_F(HostileDriver, SmbiosAddWithAWildRecordIsRefused) {
  DriverCode code;
  const uint64_t handle = code.Slot();
  CallMember(code, Prepare(code, EFI_GUID EFI_SMBIOS_PROTOCOL_GUID), offsetof(EFI_SMBIOS_PROTOCOL, Add),
             {0, handle, 0x50}, {false, true});
  ExpectRefused(Run(code), "Smbios.Add: argument 3 (Record, read) 0x50");
  EXPECT_EQ(platform->Smbios().Count(), 0u);
}

TEST_F(HostileDriver, SmbiosAddOfARecordWhoseStringsRunPastItsPoolBufferIsRefused) {
  DriverCode code;
  const Located smbios = Prepare(code, EFI_GUID EFI_SMBIOS_PROTOCOL_GUID);
  const uint64_t handle = code.Slot(), buffer = code.Slot();
  // A 6-byte pool buffer holding a record whose string "AB" has no terminator before the buffer ends.
  CallService(code, kBootServices, offsetof(EFI_BOOT_SERVICES, AllocatePool), {EfiBootServicesData, 6, buffer},
              {false, false, true});
  code.LoadFrom(buffer);
  code.StoreToRax(0xFFFE0480);                      // type 0x80, length 4, handle 0xFFFE
  code.Emit({0x66, 0xC7, 0x40, 0x04, 0x41, 0x42});  // mov word [rax + 4], "AB"
  code.LocateInto(smbios.guid, smbios.slot);
  code.ThisFromRax();
  code.LoadMember(offsetof(EFI_SMBIOS_PROTOCOL, Add));
  code.Arg(1, 0);
  code.Arg(2, handle, true);
  code.Emit({0x50});  // push rax; r9 = the buffer; pop rax
  code.LoadFrom(buffer);
  code.Emit({0x49, 0x89, 0xC1, 0x58});
  code.CallRax();
  ExpectRefused(Run(code), "Smbios.Add: argument 3 (Record, read)");
  const std::string all = AllViolations(platform->Violations().Messages());
  EXPECT_NE(all.find("lies in nothing the platform lent the image before the string ends"), std::string::npos) << all;
  EXPECT_EQ(platform->Smbios().Count(), 0u);
}

TEST_F(HostileDriver, AProtocolMemberCalledWithAnotherThisIsRefused) {
  DriverCode code;
  const uint64_t slot = code.Slot();
  code.LocateInto(code.Guid(EFI_GUID EFI_SMBIOS_PROTOCOL_GUID), slot);
  code.LoadMember(offsetof(EFI_SMBIOS_PROTOCOL, Remove));
  code.Arg(0, 0x60);
  code.Arg(1, 1);
  code.CallRax();
  ExpectRefused(Run(code), "Smbios.Remove: argument 0 (This) 0x60 is no interface of the protocol lent to the image");
}

TEST_F(HostileDriver, APcdPointerValueIsLentReadOnly) {
  platform->Pcd().SetPointer(500, {1, 2, 3, 4});
  DriverCode code;
  const Located pcd = Prepare(code, EFI_GUID PCD_PROTOCOL_GUID);
  code.LocateInto(pcd.guid, pcd.slot);
  code.LoadMember(offsetof(PCD_PROTOCOL, GetPtr));
  code.Arg(0, 500);  // GetPtr takes the token only
  code.CallRax();
  code.Emit({0x8B, 0x08});  // mov ecx, [rax]: reading is allowed
  code.StoreToRax(7);
  EXPECT_EQ(Run(code), EFI_ABORTED);
  const std::string all = AllViolations(platform->Violations().Messages());
  EXPECT_NE(all.find("lies in a PCD pointer value, which the image may only read"), std::string::npos) << all;
  EXPECT_EQ(static_cast<const uint8_t*>(platform->Pcd().GetPointer(500))[0], 1);
}

TEST_F(HostileDriver, HiiNewPackageListWithAWildListIsRefused) {
  DriverCode code;
  const uint64_t out = code.Slot();
  CallMember(code, Prepare(code, EFI_GUID EFI_HII_DATABASE_PROTOCOL_GUID),
             offsetof(EFI_HII_DATABASE_PROTOCOL, NewPackageList), {0x70, 0, out}, {false, false, true});
  ExpectRefused(Run(code), "Hii.NewPackageList: argument 1 (PackageList, read) 0x70");
}

TEST_F(HostileDriver, RegistryRegisterWithAWildRecordIsRefused) {
  DriverCode code;
  const uint64_t key = code.Guid(EFI_GUID SMBIOS_PUBLISH_POINT_GUID);
  CallMember(code, Prepare(code, EFI_GUID PLATFORM_CALLBACK_REGISTRY_GUID),
             offsetof(PLATFORM_CALLBACK_REGISTRY, Register), {key, 0x80, 16}, {true});
  ExpectRefused(Run(code), "Registry.Register: argument 2 (Record, 16 bytes read) 0x80");
}

TEST_F(HostileDriver, SmmGetSmstLocationIntoAWildPointerIsRefused) {
  sim::InstallSmm(*platform, true);
  DriverCode code;
  CallMember(code, Prepare(code, EFI_GUID EFI_SMM_BASE2_PROTOCOL_GUID),
             offsetof(EFI_SMM_BASE2_PROTOCOL, GetSmstLocation), {0xB0});
  ExpectRefused(Run(code), "SmmBase2.GetSmstLocation: argument 1 (Smst, 8 bytes written) 0xB0");
}

// Protocols a board installs: the default board's PCI functions and BMC.
class HostileDriverOnBoard : public HostileDriver {
 protected:
  std::string Boot(DriverCode& code) {
    std::string error;
    driver = sim::EmulatedDriver::LoadBytes(code.Build(), "hostile driver", error);
    EXPECT_NE(driver, nullptr) << error;
    if (!driver) return "";
    booted = sim::BootBoard(sim::DefaultBoard(), driver->Entry());
    EXPECT_EQ(booted.result.entry_status, EFI_ABORTED);
    return AllViolations(booted.result.summary.violations);
  }
  std::unique_ptr<sim::EmulatedDriver> driver;
  sim::BootedBoard booted;
};

TEST_F(HostileDriverOnBoard, PciReadIntoABufferTooSmallOrWildIsRefused) {
  DriverCode code;
  const uint64_t guid = code.Guid(EFI_GUID EFI_PCI_IO_PROTOCOL_GUID), interface = code.Slot(), slot = code.Slot();
  code.LocateInto(guid, interface);
  code.ThisFromRax();
  code.LoadMember(offsetof(EFI_PCI_IO_PROTOCOL, Pci.Read));
  code.Arg(1, EfiPciIoWidthUint32);
  code.Arg(2, 0);
  code.Arg(3, 4);  // 16 bytes into the 8-byte slot, the last bytes of .data
  code.Arg(4, slot, true);
  code.CallRax();
  const std::string all = Boot(code);
  EXPECT_NE(all.find("PciIo.Pci.Read: argument 4 (Buffer, 16 bytes written)"), std::string::npos) << all;
  EXPECT_NE(all.find("lies in the image, which the image may only read"), std::string::npos) << all;  // padding
}

TEST_F(HostileDriverOnBoard, IpmiSendWithAWildResponseSizeIsRefused) {
  DriverCode code;
  const uint64_t request = code.Data({0, 0, 0, 0});
  CallMember(code, Prepare(code, EFI_GUID IPMI_TRANSPORT_PROTOCOL_GUID),
             offsetof(IPMI_TRANSPORT_PROTOCOL, SendIpmiCommand), {0x30, 0, 0xA1, request, 4, request, 0xA0},
             {false, false, false, true, false, true});
  const std::string all = Boot(code);
  EXPECT_NE(all.find("Ipmi.SendIpmiCommand: argument 7 (ResponseDataSize, 4 bytes written) 0xA0"), std::string::npos)
      << all;
}

}  // namespace
