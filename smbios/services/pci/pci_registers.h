// PCI configuration-space registers and bits the driver reads, in one place.
#pragma once
#include "uefi/base_types.h"

constexpr UINT16 PciVendorIdRegister = 0x00;              // 16-bit
constexpr UINT16 PciDeviceIdRegister = 0x02;              // 16-bit
constexpr UINT16 PciStatusRegister = 0x06;                // 16-bit; its low byte holds the capabilities-list bit
constexpr UINT16 PciProgrammingInterfaceRegister = 0x09;  // then sub-class (0x0A) and base class (0x0B)
constexpr UINT16 PciSubClassRegister = 0x0A;
constexpr UINT16 PciBaseClassRegister = 0x0B;
constexpr UINT16 PciHeaderTypeRegister = 0x0E;
constexpr UINT16 PciBar0Register = 0x10;
constexpr UINT16 PciCardBusCapabilityPointer = 0x14;
constexpr UINT16 PciSecondaryBusRegister = 0x19;    // bridges (header type 1)
constexpr UINT16 PciSubordinateBusRegister = 0x1A;  // bridges (header type 1)
constexpr UINT16 PciSubsystemIdsRegister = 0x2C;    // 32-bit: subsystem ID << 16 | subsystem vendor ID
constexpr UINT16 PciCapabilityPointer = 0x34;

constexpr UINT8 PciStatusCapabilitiesList = 0x10;
constexpr UINT8 PciHeaderTypeLayoutMask = 0x7F;  // bit 7 marks a multi-function device
constexpr UINT8 PciHeaderTypeOrdinary = 0;
constexpr UINT8 PciHeaderTypeCardBus = 2;
constexpr UINT8 PciFirstCapabilityOffset = 0x40;

constexpr UINT8 PciCapabilityIdVpd = 0x03;
constexpr UINT8 PciCapabilityIdExpress = 0x10;

constexpr UINT8 PciClassNetworkController = 0x02;
constexpr UINT8 PciSubClassEthernet = 0x00;

// TRUE for an ordinary function (header type 0, multi-function bit ignored): not a bridge, not absent (0xFF).
constexpr BOOLEAN PciIsOrdinaryFunction(UINT8 HeaderType) {
  return (HeaderType & PciHeaderTypeLayoutMask) == PciHeaderTypeOrdinary;
}
