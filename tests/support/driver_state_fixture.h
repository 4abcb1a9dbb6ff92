// The driver's module state attached to a simulated DXE platform, as the entry point leaves it, for tests that
// call driver code without running the entry point; and the socket/stack bus layout set from rendered bytes.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

#include "sim/dxe/dxe_platform.h"
#include "smbios/entry/driver_state.h"

namespace driver_test {

// A fresh module state holding the platform's image handle, system table and services.
inline void AttachDriverState(sim::DxePlatform& platform) {
  DriverStateReset();
  DriverAttach(platform.ImageHandle(), platform.SystemTable());
}

// SocketBusLayout := the bytes, cut or zero-padded to the record's 72 bytes.
inline void SetSocketBusLayout(std::vector<uint8_t> bytes) {
  bytes.resize(sizeof(SocketBusLayoutRecord), 0);
  std::memcpy(DriverSocketBusLayoutForUpdate(), bytes.data(), bytes.size());
}

}  // namespace driver_test
