// Fixtures of the register-access tests: a simulated PEI platform with helpers for records and recorded
// accesses; and, for the CPU CSR translation, a SiliconContext below 4 GiB with a two-socket topology and the
// simulator's debugger-stop log cleared around each test.
#pragma once
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "regaccess/csr_translation.h"
#include "regaccess/register_address.h"
#include "regaccess/silicon_context.h"
#include "sim/common/debug_stop_log.h"
#include "sim/pei/pei_platform.h"

namespace regtest {

inline RegisterAddress Pcie(UINT32 address, UINT32 code, UINT32 count = 0, UINT32 type = PcieConfig,
                            UINT32 segment = 0) {
  return RegisterAddress{address, (count << 16) | segment, (code << 8) | type, 0};
}

// The enhanced-configuration offset of bus/device/function/register.
constexpr UINT32 Bdf(UINT32 bus, UINT32 device, UINT32 function, UINT32 offset = 0) {
  return (bus << 20) | (device << 15) | (function << 12) | offset;
}

// The platform of the default configuration: PCD 44 = 0x80000000, a window at 0x80000000 with
// function 0:31.2 and 1:0.0 present, the platform MCFG table absent (length 0, so the fallback is used).
inline sim::PeiPlatformConfig DefaultConfig() {
  sim::PeiPlatformConfig config;
  config.mcfg_table.length = 0;
  config.config_windows[0].functions = {{0, 31, 2, {{0, 4, 0x12345678u}}}, {1, 0, 0, {}}};
  return config;
}

inline std::vector<sim::MmioAccess> Accesses(const sim::PeiPlatform& platform) { return platform.Recorded(); }

}  // namespace regtest

namespace sim {
// Readable stops in failure messages (newlines shown as \n).
inline void PrintTo(const DebugStop& stop, std::ostream* os) {
  *os << '"';
  for (char c : stop.message) *os << (c == '\n' ? std::string("\\n") : std::string(1, c));
  *os << "\" (";
  for (size_t i = 0; i < stop.arguments.size(); ++i) *os << (i ? ", " : "") << stop.arguments[i];
  *os << ")";
}
}  // namespace sim

namespace csr_test {

using regtest::Bdf;

// Socket rows R[0..5]. Socket 1's R[4] shares position 11 with the CPU type, so it is 0.
inline constexpr uint8_t Socket0Row[6] = {0x01, 0x11, 0x21, 0x31, 0x41, 0x51};
inline constexpr uint8_t Socket1Row[6] = {0x81, 0x91, 0xA1, 0xB1, 0x00, 0xD1};
inline constexpr uint32_t Segment0Base = 0x80000000u;
inline constexpr uint32_t Segment1Base = 0x90000000u;

class CsrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#if defined(__x86_64__)
    flags |= MAP_32BIT;  // RegisterAddress.Context holds 32 bits
#endif
    void* p = mmap(nullptr, SiliconContextLayout::Size, PROT_READ | PROT_WRITE, flags, -1, 0);
    ASSERT_NE(p, MAP_FAILED);
    ASSERT_LT(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)), uint64_t{1} << 32);
    context_ = static_cast<uint8_t*>(p);
    for (int k = 0; k < 6; ++k) {
      Topology(SocketTopologyLayout::StackBus + k) = Socket0Row[k];
      Topology(SocketTopologyLayout::StackBus + 6 + k) = Socket1Row[k];
    }
    SetCpuType(0);
    SetSocketMaps(0x3, 0x2);  // CPU sockets 0 and 1; socket 1 also carries an FPGA
    SetInstancesPerDevice(2);
    ContextWrite32(context_, SiliconContextLayout::MmcfgLowWord, Segment0Base);
    ContextWrite32(context_, SiliconContextLayout::MmcfgLowWord + 4, Segment1Base);
    sim::ClearDebugStops();
  }
  void TearDown() override {
    sim::ClearDebugStops();
    if (context_ != nullptr) munmap(context_, SiliconContextLayout::Size);
  }

  uint8_t& Topology(uint32_t position) { return context_[SiliconContextLayout::SocketTopology + position]; }
  const uint8_t* TopologyBlock() const { return context_ + SiliconContextLayout::SocketTopology; }
  void SetCpuType(uint8_t type) { Topology(SocketTopologyLayout::CpuType) = type; }
  void SetInstancesPerDevice(uint8_t d) { Topology(SocketTopologyLayout::InstancesPerDevice) = d; }
  void SetSocketMaps(uint32_t cpu, uint32_t fpga) {
    ContextWrite32(context_, SiliconContextLayout::SocketTopology + SocketTopologyLayout::CpuSocketMap, cpu);
    ContextWrite32(context_, SiliconContextLayout::SocketTopology + SocketTopologyLayout::FpgaSocketMap, fpga);
  }
  void SetCacheEnable(uint8_t on) { context_[SiliconContextLayout::CacheEnable] = on; }
  uint32_t Word(uint32_t position) const { return ContextRead32(context_, position); }
  uint32_t ContextWord() const { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(context_)); }

  RegisterAddress Csr(uint8_t socket, uint8_t box, uint8_t instance, uint8_t block, uint32_t offset = 0,
                      uint32_t width = 0) const {
    return MakeCsrRecord(socket, box, instance, block, offset, width, ContextWord());
  }
  uint32_t Translate(RegisterAddress record) {
    uint32_t result = 0xDEADBEEF;
    EXPECT_EQ(TranslateCsrAddress(&record, &result), 0u);
    return result;
  }
  uint8_t* context_ = nullptr;
};

inline sim::DebugStop Stop(std::string message, std::vector<uint32_t> arguments = {}) {
  return sim::DebugStop{std::move(message), std::move(arguments)};
}

}  // namespace csr_test
