// The PEI image's register-access service in the emulator against the host-linked service on the same
// platform: every request must give the same status, record and buffer afterwards, bus accesses (address,
// width, value, direction, in order), violations, debugger stops and CSR cache. Each row also states what the
// request does (accesses registers, is refused without access, or ends at the debugger stop), so a row that
// quietly stopped exercising its path fails too.
#include <gtest/gtest.h>

#include <cstring>

#include "regaccess/csr_tables.h"
#include "regaccess/csr_translation.h"
#include "regaccess/pcie_register_handlers.h"
#include "regaccess/register_access.h"
#include "regaccess/register_copy.h"
#include "tests/sim/image/regaccess_twin.h"
#include "uefi/silicon_context_layout.h"

namespace {

#ifdef PEI_IMAGE

using sim::test::RegaccessOutcome;
using sim::test::RegaccessRequest;

constexpr uint32_t kWindow = 0x80000000u;     // configuration window of 256 buses
constexpr uint32_t kTopWindow = 0xFFF00000u;  // one bus ending at 4 GiB

// What a row's request does on both sides.
enum class Does { Access, Refuse, Stop };

// Socket topology: stack buses of sockets 0 and 31; sockets 0, 1 and 31 present, FPGA on socket 0 only.
std::vector<uint8_t> Topology(uint8_t cpu_type, uint8_t instances_per_device) {
  std::vector<uint8_t> t(200, 0);
  for (uint32_t stack = 0; stack < 6; ++stack) {
    t[SocketTopologyLayout::StackBus + stack] = static_cast<uint8_t>(0x10 + stack);
    t[SocketTopologyLayout::StackBus + 6 * 31 + stack] = static_cast<uint8_t>(0x30 + stack);
  }
  // Socket 1 (segment 1: the one-bus window at the top) keeps every stack on bus 0; its stack 4 byte is the CPU
  // type.
  t[SocketTopologyLayout::CpuType] = cpu_type;
  const uint32_t cpu_map = 0x80000003u;
  std::memcpy(&t[SocketTopologyLayout::CpuSocketMap], &cpu_map, 4);
  t[SocketTopologyLayout::FpgaSocketMap] = 1;
  t[SocketTopologyLayout::InstancesPerDevice] = instances_per_device;
  return t;
}

struct PlatformShape {
  uint8_t cpu_type = 0;
  uint8_t instances_per_device = 2;
  bool table_published = true;
  std::optional<uint32_t> table_length;
  std::vector<sim::ContextBytes> extra_context;
};

sim::TracePlatformConfig Config(const PlatformShape& shape) {
  sim::TracePlatformConfig config;
  sim::PciFunctionConfig f000{0, 0, 0, {{0, 4, 0x11223344u}, {4, 4, 0x55667788u}, {8, 4, 0x99AABBCCu}}};
  sim::PciFunctionConfig csr{0x10, 30, 2, {{0x40, 4, 0xCAFEF00Du}, {0x44, 4, 0x0BADBEEFu}}};
  config.pei.config_windows[0].functions = {f000, csr, {0x20, 8, 0, {}}, {0x11, 8, 1, {}}};
  config.pei.config_windows.push_back({kTopWindow, 1, {{0, 31, 7, {{0xFFC, 4, 0xA5A5A5A5u}}}}});
  config.pei.default_mmcfg_base = kWindow;
  // The platform table: segment 0 in the window, segment 1 on the top bus, segment 2 unknown.
  config.pei.mcfg_table.published = shape.table_published;
  config.pei.mcfg_table.entries = {{kWindow, 0, 0, 255}, {kTopWindow, 1, 0, 0}, {0, 2, 0, 255}};
  config.pei.mcfg_table.length = shape.table_length;
  // The context's MMCFG words: segment 0 in the window, 1 on the top bus, 2 and up unknown. A segment's high word
  // is the previous segment's low word, so segment 2 reads a base above 4 GiB: the rows use segment 3.
  config.pei.silicon_context = {
      sim::ContextWord32(SiliconContextLayout::MmcfgLowWord, kWindow),
      sim::ContextWord32(SiliconContextLayout::MmcfgLowWord + 4, kTopWindow),
      {SiliconContextLayout::SocketTopology, Topology(shape.cpu_type, shape.instances_per_device)},
      {SiliconContextLayout::CacheEnable, {1}}};
  for (const auto& bytes : shape.extra_context) config.pei.silicon_context.push_back(bytes);
  return config;
}

class RegaccessImageTwin : public ::testing::Test {
 protected:
  void Build(const PlatformShape& shape) {
    const sim::TracePlatformConfig config = Config(shape);
    platform = std::make_unique<sim::TracePlatform>(config);
    std::string error;
    twin = sim::test::RegaccessTwin::Create(*platform, config, PEI_IMAGE, error);
    ASSERT_NE(twin, nullptr) << error;
  }
  void SetUp() override { Build({}); }
  uint32_t Context() { return platform->pei().silicon_context().address(); }

  // Runs the request on both sides, requires the same outcome and that the request does what the row says.
  RegaccessOutcome Same(const RegaccessRequest& request, Does does, const std::string& row) {
    const RegaccessOutcome image = twin->OnImage(request);
    const RegaccessOutcome host = twin->OnHost(request);
    const std::string diff = sim::test::CompareOutcomes(image, host);
    EXPECT_EQ(diff, "") << row;
    switch (does) {
      case Does::Access:
        EXPECT_TRUE(image.completed) << row << ": " << image.fault;
        if (request.operation != RegisterOperationGetAddress) {
          EXPECT_EQ(host.status, RegisterSuccess) << row;
          EXPECT_FALSE(host.accesses.empty()) << row;
        }
        EXPECT_TRUE(host.stops.empty()) << row;
        EXPECT_TRUE(host.violations.empty()) << row << ": " << (host.violations.empty() ? "" : host.violations[0]);
        break;
      case Does::Refuse:
        EXPECT_TRUE(image.completed) << row << ": " << image.fault;
        EXPECT_NE(host.status, RegisterSuccess) << row;
        EXPECT_TRUE(host.accesses.empty()) << row;
        break;
      case Does::Stop:
        EXPECT_TRUE(image.stopped) << row << ": " << image.fault;
        EXPECT_FALSE(host.stops.empty()) << row;
        break;
    }
    return host;
  }

  std::unique_ptr<sim::TracePlatform> platform;
  std::unique_ptr<sim::test::RegaccessTwin> twin;
};

RegaccessRequest Request(RegisterAddress record, uint32_t operation, size_t buffer_bytes = 8) {
  RegaccessRequest r;
  r.record = record;
  r.operation = operation;
  r.buffer.resize(buffer_bytes);
  for (size_t i = 0; i < buffer_bytes; ++i) r.buffer[i] = static_cast<uint8_t>(0xA0 + i);
  r.and_mask = {0x0F, 0xF0, 0xFF, 0x00, 0x3C, 0xC3, 0xFF, 0xFF};
  r.or_mask = {0x80, 0x01, 0x00, 0x5A, 0x00, 0x00, 0x10, 0x00};
  return r;
}

const char* const kOperations[] = {"get address", "read", "write", "modify"};

// --- CPU CSR translation: every box type, first and last valid instance, first invalid one ---

struct CsrRow {
  uint8_t box;
  uint8_t instance;
  uint8_t block;
  Does does;
};

const CsrRow kCsrRows[] = {
    {CsrBoxCha0, 0, 0, Does::Access},
    {CsrBoxCha0, 27, 0, Does::Access},
    {CsrBoxCha0, 28, 0, Does::Stop},
    {CsrBoxCha1, 0, 0, Does::Access},
    {CsrBoxCha1, 27, 0, Does::Access},
    {CsrBoxCha1, 28, 0, Does::Stop},
    {CsrBoxCha2, 0, 0, Does::Access},
    {CsrBoxCha2, 27, 0, Does::Access},
    {CsrBoxCha2, 28, 0, Does::Stop},
    {CsrBoxChabc, 0, 0, Does::Access},
    {CsrBoxChabc, 0, 3, Does::Access},
    {CsrBoxChabc, 1, 0, Does::Stop},
    {CsrBoxChabc, 0, 4, Does::Stop},
    {CsrBoxPcu, 0, 0, Does::Access},
    {CsrBoxPcu, 0, 7, Does::Access},
    {CsrBoxPcu, 1, 0, Does::Stop},
    {CsrBoxVcu, 0, 0, Does::Access},
    {CsrBoxVcu, 0, 7, Does::Access},
    {CsrBoxVcu, 1, 0, Does::Stop},
    {CsrBoxM2mem, 0, 0, Does::Access},
    {CsrBoxM2mem, 1, 1, Does::Access},
    {CsrBoxM2mem, 2, 0, Does::Stop},
    {CsrBoxM2mem, 0, 2, Does::Stop},
    {CsrBox7, 0, 0, Does::Access},
    {CsrBox7, 5, 1, Does::Access},
    {CsrBox7, 6, 0, Does::Access},
    {CsrBox7, 1, 2, Does::Access},
    {CsrBox8, 0, 0, Does::Access},
    {CsrBox8, 19, 2, Does::Access},
    {CsrBox8, 20, 0, Does::Stop},
    {CsrBoxWzl9, 0, 0, Does::Access},
    {CsrBoxWzl9, 2, 3, Does::Access},
    {CsrBoxWzl9, 3, 0, Does::Stop},
    {CsrBox10, 0, 0, Does::Access},
    {CsrBox10, 1, 3, Does::Access},
    {CsrBox10, 2, 0, Does::Stop},
    {CsrBox11, 0, 0, Does::Access},
    {CsrBox11, 5, 0, Does::Access},
    {CsrBox11, 6, 1, Does::Access},
    {CsrBox11, 1, 2, Does::Stop},
    {CsrBoxWzl12, 0, 0, Does::Access},
    {CsrBoxWzl12, 4, 2, Does::Access},
    {CsrBoxWzl12, 5, 0, Does::Stop},
    {CsrBoxIioPcieDmi, 0, 0, Does::Access},
    {CsrBoxIioPcieDmi, 3, 0, Does::Access},
    {CsrBoxIioPcieDmi, 4, 0, Does::Stop},
    {CsrBoxIioPcie, 0, 0, Does::Access},
    {CsrBoxIioPcie, 20, 0, Does::Access},
    {CsrBoxIioPcie, 21, 0, Does::Stop},
    {CsrBoxIioPcieNtb, 1, 0, Does::Access},
    {CsrBoxIioPcieNtb, 20, 0, Does::Access},
    {CsrBoxIioPcieNtb, 0, 0, Does::Stop},
    {CsrBoxIioPcieNtb, 21, 0, Does::Stop},
    {CsrBoxIioQd, 0, 0, Does::Access},
    {CsrBoxIioQd, 255, 7, Does::Access},
    {CsrBoxIioVtd, 0, 0, Does::Access},
    {CsrBoxIioVtd, 5, 5, Does::Access},
    {CsrBoxIioVtd, 6, 0, Does::Stop},
    {CsrBoxIioVtd, 0, 6, Does::Stop},
    {CsrBoxIioDfx, 0, 0, Does::Access},
    {CsrBoxIioDfx, 20, 0, Does::Access},
    {CsrBoxIioDfx, 5, 1, Does::Access},
    {CsrBoxIioDfx, 5, 2, Does::Access},
    {CsrBoxIioDfx, 6, 4, Does::Access},
    {CsrBoxIioDfx, 3, 5, Does::Access},
    {CsrBoxIioDfx, 21, 0, Does::Stop},
    {CsrBoxIioDfx, 0, 6, Does::Stop},
    {CsrBoxUbox, 0, 0, Does::Access},
    {CsrBoxUbox, 0, 2, Does::Access},
    {CsrBoxUbox, 1, 0, Does::Stop},
    {CsrBoxUbox, 0, 3, Does::Stop},
    {CsrBoxFpga, 0, 0, Does::Access},
    {CsrBoxFpga, 1, 0, Does::Stop},
    {CsrBoxTypeCount, 0, 0, Does::Stop},
    {0xFF, 0, 0, Does::Stop},
};

std::string CsrRowName(uint8_t socket, const CsrRow& row, uint32_t operation) {
  return "socket " + std::to_string(socket) + " box " + std::to_string(row.box) + " instance " +
         std::to_string(row.instance) + " block " + std::to_string(row.block) + ", " + kOperations[operation];
}

TEST_F(RegaccessImageTwin, EveryCsrBoxTypeTranslatesAndAccessesAsOnTheHost) {
  for (const CsrRow& row : kCsrRows) {
    for (uint32_t operation = 0; operation < 4; ++operation) {
      const RegisterAddress record = MakeCsrRecord(0, row.box, row.instance, row.block, 0x40, 2, Context());
      Same(Request(record, operation), row.does, CsrRowName(0, row, operation));
    }
  }
}

TEST_F(RegaccessImageTwin, CsrSocketsInsideTheBitmapsAreServedAndTheFirstOutsideStops) {
  const struct {
    uint8_t socket;
    uint8_t box;
    Does does;
  } rows[] = {
      {1, CsrBoxPcu, Does::Access}, {2, CsrBoxPcu, Does::Stop},      {31, CsrBoxIioDfx, Does::Access},
      {32, CsrBoxPcu, Does::Stop},  {255, CsrBoxUbox, Does::Stop},   {0, CsrBoxFpga, Does::Access},
      {1, CsrBoxFpga, Does::Stop},  {1, CsrBoxIioVtd, Does::Access}, {31, CsrBoxCha0, Does::Access},
  };
  for (const auto& row : rows) {
    for (uint32_t operation = 0; operation < 4; ++operation) {
      const RegisterAddress record = MakeCsrRecord(row.socket, row.box, 0, 0, 0x44, 2, Context());
      Same(Request(record, operation), row.does, CsrRowName(row.socket, {row.box, 0, 0, row.does}, operation));
    }
  }
}

TEST_F(RegaccessImageTwin, CsrWidthCodesPseudoRegistersAndAMissingContextMatch) {
  for (uint32_t code = 0; code < 4; ++code) {
    for (uint32_t operation = 0; operation < 4; ++operation) {
      const RegisterAddress record = MakeCsrRecord(0, CsrBoxPcu, 0, 2, 0x40 + (1u << code), code, Context());
      Same(Request(record, operation), Does::Access,
           "width code " + std::to_string(code) + ", " + kOperations[operation]);
    }
  }
  RegisterAddress pseudo = MakeCsrRecord(0, CsrBoxPcu, 0, 2, 0x123, 3, Context());
  pseudo.Address |= CsrPseudoRegisterFlag;
  for (uint32_t operation = 0; operation < 4; ++operation) {
    const RegaccessOutcome host =
        Same(Request(pseudo, operation), Does::Access, std::string("pseudo ") + kOperations[operation]);
    EXPECT_EQ(host.record.Address & 0xFFFF, 0u);  // the record is rewritten to offset 0 with width code 0
  }
  // No context: the CSR cannot be placed; nothing is accessed on either side.
  const RegisterAddress none = MakeCsrRecord(0, CsrBoxPcu, 0, 0, 0x40, 2, 0);
  EXPECT_EQ(Same(Request(none, RegisterOperationGetAddress), Does::Access, "no context get address").status, 0u);
  for (uint32_t operation = 1; operation < 4; ++operation) {
    const RegaccessOutcome host =
        Same(Request(none, operation), Does::Refuse, std::string("no context ") + kOperations[operation]);
    EXPECT_EQ(host.status, RegisterInvalidParameter);
  }
}

TEST_F(RegaccessImageTwin, ACsrCacheHitIsUsedByTheImageAsByTheHost) {
  // The cache names the PCU page of socket 0 at a page of the top bus, which translation would never give.
  PlatformShape cached;
  const RegisterAddress hit = MakeCsrRecord(0, CsrBoxPcu, 0, 0, 0xFFC, 2, 0);
  cached.extra_context = {sim::ContextWord32(SiliconContextLayout::CacheKey1, hit.Address & CsrPageMask),
                          sim::ContextWord32(SiliconContextLayout::CacheKey2, 0),
                          sim::ContextWord32(SiliconContextLayout::CachedPageBase, kTopWindow + 0xFF000)};
  Build(cached);
  for (uint32_t operation = 0; operation < 4; ++operation) {
    RegisterAddress record = hit;
    record.Context = Context();
    const RegaccessOutcome host =
        Same(Request(record, operation), Does::Access, std::string("hit ") + kOperations[operation]);
    if (operation != RegisterOperationGetAddress) {
      EXPECT_EQ(host.accesses.at(0).address, kTopWindow + 0xFFFFCu);
    }
    // A different socket misses and replaces the cache.
    const RegisterAddress miss = MakeCsrRecord(1, CsrBoxPcu, 0, 0, 0xFFC, 2, Context());
    const RegaccessOutcome missed =
        Same(Request(miss, operation), Does::Access, std::string("miss ") + kOperations[operation]);
    EXPECT_EQ(missed.cache[5], 1);  // key 2 is now socket 1's word 1
  }
}

TEST(RegaccessImagePlatformShapes, CpuTypeAndInstancesPerDeviceStopsMatch) {
  const struct {
    uint8_t cpu_type, instances_per_device, box;
  } rows[] = {{1, 2, CsrBoxCha0}, {1, 2, CsrBox7}, {1, 2, CsrBoxPcu},
              {0, 0, CsrBox8},    {0, 0, CsrBox7}, {0, 0, CsrBox11}};
  for (const auto& row : rows) {
    PlatformShape shape;
    shape.cpu_type = row.cpu_type;
    shape.instances_per_device = row.instances_per_device;
    const sim::TracePlatformConfig config = Config(shape);
    sim::TracePlatform platform(config);
    std::string error;
    auto twin = sim::test::RegaccessTwin::Create(platform, config, PEI_IMAGE, error);
    ASSERT_NE(twin, nullptr) << error;
    for (uint32_t operation = 0; operation < 4; ++operation) {
      const RegaccessRequest request =
          Request(MakeCsrRecord(0, row.box, 0, 0, 0x40, 2, platform.pei().silicon_context().address()), operation);
      const RegaccessOutcome image = twin->OnImage(request);
      const RegaccessOutcome host = twin->OnHost(request);
      const std::string what = "cpu type " + std::to_string(row.cpu_type) + " D " +
                               std::to_string(row.instances_per_device) + " box " + std::to_string(row.box);
      EXPECT_EQ(sim::test::CompareOutcomes(image, host), "") << what;
      EXPECT_TRUE(image.stopped) << what << ": " << image.fault;
    }
  }
}

// --- PCIe single records: every width code, both MMCFG sources, refusals ---

RegisterAddress Pcie(uint32_t type, uint32_t address, uint32_t segment, uint32_t count, uint32_t code,
                     uint32_t context) {
  return RegisterAddress{address, segment | (count << 16), type | (code << 8), context};
}

TEST_F(RegaccessImageTwin, PcieSingleRecordsOfEveryWidthCodeMatch) {
  for (uint32_t code = 0; code < 16; ++code) {
    for (uint32_t operation = 0; operation < 4; ++operation) {
      for (uint32_t context : {Context(), 0u}) {
        const std::string row =
            "code " + std::to_string(code) + (context ? " context " : " table ") + kOperations[operation];
        Same(Request(Pcie(PcieConfig, 0x4, 0, 0, code, context), operation), Does::Access, row);
      }
    }
  }
}

TEST_F(RegaccessImageTwin, PcieMmcfgComesFromTheContextOrThePlatformTable) {
  const struct {
    uint32_t segment;
    bool context;
    uint32_t expected_base;
  } rows[] = {{0, true, kWindow},  {1, true, kTopWindow},  {3, true, kWindow},  {8, true, kWindow},
              {0, false, kWindow}, {1, false, kTopWindow}, {2, false, kWindow}, {3, false, kWindow}};
  for (const auto& row : rows) {
    const std::string name = "segment " + std::to_string(row.segment) + (row.context ? " context" : " table");
    RegisterAddress record = Pcie(PcieConfig, 0xFFC, row.segment, 0, 2, row.context ? Context() : 0);
    const RegaccessOutcome got = Same(Request(record, RegisterOperationGetAddress), Does::Access, name);
    EXPECT_EQ(got.status, row.expected_base + 0xFFCu) << name;
    Same(Request(record, RegisterOperationRead), Does::Access, name + " read");
    Same(Request(record, RegisterOperationModify), Does::Access, name + " modify");
  }
}

TEST_F(RegaccessImageTwin, PcieWithoutThePlatformTableUsesTheModulesTable) {
  PlatformShape shapes[3];
  shapes[0].table_published = false;
  shapes[1].table_length = 0u;
  shapes[2].table_length = 20u;  // a length word short of one whole entry
  for (const PlatformShape& shape : shapes) {
    Build(shape);
    for (uint32_t segment : {0u, 1u, 9u}) {
      const RegisterAddress record = Pcie(PcieConfig, 0x8, segment, 0, 2, 0);
      const RegaccessOutcome got = Same(Request(record, RegisterOperationGetAddress), Does::Access, "no table");
      EXPECT_EQ(got.status, kWindow + 8u) << segment;
      Same(Request(record, RegisterOperationRead), Does::Access, "no table read");
    }
  }
}

TEST_F(RegaccessImageTwin, PcieSingleRefusalsMatch) {
  // A null buffer is refused; an element passing 4 GiB is refused before any access.
  for (uint32_t operation : {1u, 2u}) {
    RegaccessRequest null_buffer = Request(Pcie(PcieConfig, 0x0, 0, 0, 2, Context()), operation);
    null_buffer.null_buffer = true;
    EXPECT_EQ(Same(null_buffer, Does::Refuse, "null buffer").status, RegisterInvalidParameter);
    for (uint32_t code : {1u, 2u, 3u}) {
      const RegisterAddress top = Pcie(PcieConfig, 0xFFFFF, 1, 0, code, Context());
      EXPECT_EQ(Same(Request(top, operation), Does::Refuse, "past 4 GiB").status, RegisterUnsupported);
    }
    // The last element that fits ends exactly at 4 GiB.
    Same(Request(Pcie(PcieConfig, 0xFFFF8, 1, 0, 3, Context()), operation), Does::Access, "ends at 4 GiB");
  }
  EXPECT_EQ(Same(Request(Pcie(PcieConfig, 0xFFFFD, 1, 0, 2, Context()), RegisterOperationModify), Does::Refuse,
                 "modify past 4 GiB")
                .status,
            RegisterUnsupported);
  for (uint32_t operation = 1; operation < 4; ++operation) {
    EXPECT_EQ(Same(Request(Pcie(3, 0, 0, 0, 2, Context()), operation), Does::Refuse, "type 3").status,
              RegisterUnsupported);
  }
}

TEST_F(RegaccessImageTwin, PcieModifyWithNullMasksMatches) {
  for (bool and_null : {false, true}) {
    for (bool or_null : {false, true}) {
      for (uint32_t code : {0u, 1u, 2u, 3u}) {
        RegaccessRequest r = Request(Pcie(PcieConfig, 0x0, 0, 0, code, Context()), RegisterOperationModify);
        r.and_null = and_null;
        r.or_null = or_null;
        Same(r, Does::Access,
             "masks " + std::to_string(and_null) + std::to_string(or_null) + " code " + std::to_string(code));
        r.record.Attribute = PcieConfigBlock | (code << 8);  // the block type's modify is a single element too
        Same(r, Does::Access, "block modify");
      }
    }
  }
}

// --- PCIe block records: every width code, count limits, alignment ---

size_t BlockBytes(uint32_t code, uint32_t count) {
  return code < 12 ? (BufferStride[code] == 0 ? AccessWidthSize(code) : count * BufferStride[code]) : 8;
}

TEST_F(RegaccessImageTwin, PcieBlocksOfEveryWidthCodeMatch) {
  for (uint32_t code = 0; code < 14; ++code) {
    for (uint32_t count : {0u, 1u, 5u, 64u}) {
      for (uint32_t operation : {1u, 2u}) {
        const std::string row =
            "code " + std::to_string(code) + " count " + std::to_string(count) + " " + kOperations[operation];
        const Does does = code >= 12 ? Does::Refuse : count == 0 ? Does::Refuse : Does::Access;
        RegaccessRequest r =
            Request(Pcie(PcieConfigBlock, 0x0, 0, count, code, Context()), operation, BlockBytes(code, count));
        if (does == Does::Refuse && code < 12) {  // count 0: success without any access
          const RegaccessOutcome image = twin->OnImage(r);
          const RegaccessOutcome host = twin->OnHost(r);
          EXPECT_EQ(sim::test::CompareOutcomes(image, host), "") << row;
          EXPECT_EQ(host.status, RegisterSuccess) << row;
          EXPECT_TRUE(host.accesses.empty()) << row;
          continue;
        }
        Same(r, does, row);
      }
    }
  }
}

TEST_F(RegaccessImageTwin, PcieBlockLimitsAndAlignmentMatch) {
  const struct {
    uint32_t address, segment, count, code;
    size_t misalign;
    bool null_buffer;
    Does does;
    const char* what;
  } rows[] = {
      {0xFFFF0, 1, 4, 2, 0, false, Does::Access, "four dwords ending at 4 GiB"},
      {0xFFFF0, 1, 5, 2, 0, false, Does::Refuse, "a fifth dword past 4 GiB"},
      {0xFFFF8, 1, 1, 3, 0, false, Does::Access, "a qword ending at 4 GiB"},
      {0xFFFF8, 1, 2, 3, 0, false, Does::Refuse, "a second qword past 4 GiB"},
      {0xFFFFC, 1, 100, 6, 0, false, Does::Access, "a dword FIFO at the top reads one register"},
      {0xFFFF0, 1, 200, 10, 0, false, Does::Refuse, "a dword fill past 4 GiB"},
      {0x0, 0, 0xFFFF, 8, 0, false, Does::Access, "the largest count of a byte fill"},
      {0x2, 0, 4, 2, 0, false, Does::Refuse, "a misaligned register"},
      {0x0, 0, 4, 2, 2, false, Does::Refuse, "a misaligned buffer"},
      {0x0, 0, 4, 1, 1, false, Does::Refuse, "a word buffer on an odd byte"},
      {0x0, 0, 4, 3, 4, false, Does::Access, "a qword buffer on a dword"},
      {0x0, 0, 4, 2, 0, true, Does::Refuse, "a null buffer"},
  };
  for (const auto& row : rows) {
    for (uint32_t operation : {1u, 2u}) {
      RegaccessRequest r = Request(Pcie(PcieConfigBlock, row.address, row.segment, row.count, row.code, Context()),
                                   operation, BlockBytes(row.code, row.count));
      r.misalign = row.misalign;
      r.null_buffer = row.null_buffer;
      Same(r, row.does, std::string(row.what) + ", " + kOperations[operation]);
    }
  }
}

#else

TEST(RegaccessImageTwin, NeedsTheBuiltImages) { GTEST_SKIP() << "this build makes no firmware images"; }

#endif

}  // namespace
