// The built PEI image itself, run in the 32-bit test process: its sections are mapped, its HIGHLOW
// relocations applied, and the hardware primitives inside it (MMIO, SIDT, the debugger stop) are redirected
// to the simulator's. Everything else is the image's own code: entry point, listener, formatter, SyS-T
// encoder, trace-hub transport and register access. Its writes to the trace hub must match, write for
// write, those of the host-linked module for the same status codes.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "hw/debug_stop.h"
#include "hw/mmio.h"
#include "sim/pei/trace_platform.h"
#include "trace/listener/peim_entry.h"
#include "uefi/status.h"

namespace {

#if defined(__i386__)

std::vector<uint8_t> ReadFile(const char *Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
}

uint32_t Le32(const std::vector<uint8_t> &B, size_t At) {
  return B[At] | (B[At + 1] << 8) | (B[At + 2] << 16) | (static_cast<uint32_t>(B[At + 3]) << 24);
}
uint16_t Le16(const std::vector<uint8_t> &B, size_t At) { return static_cast<uint16_t>(B[At] | (B[At + 1] << 8)); }

// A PE32 image mapped and relocated at an address of mmap's choosing.
class MappedImage {
 public:
  // Empty Error on success.
  explicit MappedImage(const std::vector<uint8_t> &File) { Load(File); }
  ~MappedImage() {
    if (Base != nullptr) munmap(Base, Size);
  }
  MappedImage(const MappedImage &) = delete;
  MappedImage &operator=(const MappedImage &) = delete;

  // Replaces the function at Rva by a jump to Target.
  void Redirect(uint32_t Rva, const void *Target) {
    uint8_t *Site = Base + Rva;
    const int32_t Rel = static_cast<int32_t>(reinterpret_cast<uintptr_t>(Target) - reinterpret_cast<uintptr_t>(Site + 5));
    Site[0] = 0xE9;
    std::memcpy(Site + 1, &Rel, 4);
  }
  bool Contains(const void *P) const {
    const uint8_t *B = static_cast<const uint8_t *>(P);
    return B >= Base && B < Base + Size;
  }

  std::string Error;
  uint8_t *Base = nullptr;
  uint32_t Size = 0;
  uint32_t ImageBase = 0;
  uint32_t EntryRva = 0;
  unsigned Fixups = 0;

 private:
  void Fail(const char *Why) { Error = Why; }

  void Load(const std::vector<uint8_t> &File) {
    if (File.size() < 0x40 || File[0] != 'M' || File[1] != 'Z') return Fail("no MZ header");
    const size_t Pe = Le32(File, 0x3C);
    if (Pe + 24 + 96 > File.size() || Le32(File, Pe) != 0x00004550) return Fail("no PE signature");
    if (Le16(File, Pe + 4) != 0x14C) return Fail("not an IA-32 image");
    const unsigned Sections = Le16(File, Pe + 6);
    const size_t Optional = Pe + 24;
    if (Le16(File, Optional) != 0x10B) return Fail("not PE32");
    EntryRva = Le32(File, Optional + 16);
    ImageBase = Le32(File, Optional + 28);
    Size = Le32(File, Optional + 56);
    const uint32_t HeaderSize = Le32(File, Optional + 60);
    const uint32_t RelocRva = Le32(File, Optional + 96 + 5 * 8);
    const uint32_t RelocSize = Le32(File, Optional + 96 + 5 * 8 + 4);
    void *P = mmap(nullptr, Size, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (P == MAP_FAILED) return Fail("mmap failed");
    Base = static_cast<uint8_t *>(P);
    if (HeaderSize > File.size() || HeaderSize > Size) return Fail("bad header size");
    std::memcpy(Base, File.data(), HeaderSize);
    const size_t Table = Optional + Le16(File, Pe + 20);
    for (unsigned S = 0; S < Sections; ++S) {
      const size_t H = Table + 40 * S;
      const uint32_t Va = Le32(File, H + 12), Raw = Le32(File, H + 16), RawAt = Le32(File, H + 20);
      if (static_cast<uint64_t>(Va) + Raw > Size || static_cast<uint64_t>(RawAt) + Raw > File.size()) {
        return Fail("section outside the image");
      }
      std::memcpy(Base + Va, File.data() + RawAt, Raw);
    }
    const uint32_t Delta = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Base)) - ImageBase;
    for (uint32_t Block = RelocRva; Block + 8 <= RelocRva + RelocSize;) {
      const uint32_t Page = *reinterpret_cast<uint32_t *>(Base + Block);
      const uint32_t BlockSize = *reinterpret_cast<uint32_t *>(Base + Block + 4);
      if (BlockSize < 8) return Fail("bad relocation block");
      for (uint32_t E = 8; E + 2 <= BlockSize; E += 2) {
        const uint16_t Entry = *reinterpret_cast<uint16_t *>(Base + Block + E);
        const uint32_t At = Page + (Entry & 0xFFF);
        if ((Entry >> 12) == 0) continue;
        if ((Entry >> 12) != 3 || At + 4 > Size) return Fail("unexpected relocation");
        *reinterpret_cast<uint32_t *>(Base + At) += Delta;
        ++Fixups;
      }
      Block += BlockSize;
    }
  }
};

// Public symbols of the link map ("0001:0000004b   _Name   000000000040026b   file.obj") as RVAs.
std::map<std::string, uint32_t> MapSymbols(const char *Path, uint32_t ImageBase) {
  std::map<std::string, uint32_t> Symbols;
  std::ifstream In(Path);
  const std::regex Line(R"(^\s*[0-9a-f]{4}:[0-9a-f]{8}\s+(\S+)\s+([0-9a-f]{16})\s)");
  std::string L;
  std::smatch M;
  while (std::getline(In, L)) {
    if (std::regex_search(L, M, Line)) Symbols[M[1]] = static_cast<uint32_t>(std::stoull(M[2], nullptr, 16)) - ImageBase;
  }
  return Symbols;
}

struct ImageUnderTest {
  std::unique_ptr<MappedImage> Image;
  EFI_STATUS (*Entry)(VOID *, const EFI_PEI_SERVICES **) = nullptr;
};

// The image's hardware primitives and where the simulator's stand-ins are.
const std::pair<const char *, const void *> kPrimitives[] = {
    {"_MmioRead8", reinterpret_cast<const void *>(&MmioRead8)},
    {"_MmioRead16", reinterpret_cast<const void *>(&MmioRead16)},
    {"_MmioRead32", reinterpret_cast<const void *>(&MmioRead32)},
    {"_MmioRead64", reinterpret_cast<const void *>(&MmioRead64)},
    {"_MmioWrite8", reinterpret_cast<const void *>(&MmioWrite8)},
    {"_MmioWrite16", reinterpret_cast<const void *>(&MmioWrite16)},
    {"_MmioWrite32", reinterpret_cast<const void *>(&MmioWrite32)},
    {"_MmioWrite64", reinterpret_cast<const void *>(&MmioWrite64)},
    {"_ReadIdtBase", reinterpret_cast<const void *>(&ReadIdtBase)},
    {"_DebugStopPoll", reinterpret_cast<const void *>(&DebugStopPoll)},
};

// One status code of the comparison, with its data record built on each platform.
struct Code {
  uint32_t Type, Value, Instance;
  const EFI_GUID *Caller;
  const void *(*Data)(sim::StatusCodeRecordArena &);
};

constexpr EFI_GUID kCaller = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

const Code kCodes[] = {
    {0x80000002, 0x0301000A, 0, nullptr, nullptr},
    {0x40000002, 0x03058001, 1, &kCaller, nullptr},
    {0x90000002, 0x00010007, 0, nullptr,
     [](sim::StatusCodeRecordArena &R) { return R.Assertion("Platform/MemoryInit.c", 512, "Hob != NULL"); }},
    {0x00000003, 0, 0, nullptr,
     [](sim::StatusCodeRecordArena &R) {
       return R.Debug(0x80000000, "%a: %d %5x %,ld %r\n",
                      {sim::DebugArgument::String("PlatformInit"), sim::DebugArgument::Int32(-42),
                       sim::DebugArgument::Int32(0xBEEF), sim::DebugArgument::Int64(-1234567890123ll),
                       sim::DebugArgument::Int32(0x80000007)});
     }},
    {0x00000003, 0, 0, nullptr, [](sim::StatusCodeRecordArena &R) { return R.Debug(0x00400000, "dropped\n", {}); }},
    {0x00000001, 0x03020000, 0, nullptr, nullptr},
    {0x00000003, 0, 0, nullptr, [](sim::StatusCodeRecordArena &R) { return R.String("board straps read"); }},
    {0x00000003, 0, 0, nullptr, [](sim::StatusCodeRecordArena &R) { return R.String("wide", 1); }},
    {0x00000009, 0x03000010, 2, nullptr, nullptr},
};

struct Outcome {
  std::vector<EFI_STATUS> Statuses;
  std::vector<sim::TraceHubWrite> Writes;
  std::vector<std::string> Violations;
};

Outcome ReportAll(sim::TracePlatform &Platform) {
  Outcome R;
  for (const Code &C : kCodes) {
    const void *Data = C.Data != nullptr ? C.Data(Platform.records()) : nullptr;
    for (EFI_STATUS S : Platform.Report(C.Type, C.Value, C.Instance, C.Caller, Data)) R.Statuses.push_back(S);
  }
  R.Writes = Platform.hub().Writes();
  R.Violations = Platform.violations().Messages();
  return R;
}

class PeimImageRun : public ::testing::Test {
 protected:
  void SetUp() override {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the image's code is not instrumented; sanitizer builds check the host-linked module";
#endif
    const std::vector<uint8_t> File = ReadFile(PEI_IMAGE_FILE);
    if (File.empty()) GTEST_SKIP() << PEI_IMAGE_FILE << " is not built (the 64-bit half builds the images)";
    Image = std::make_unique<MappedImage>(File);
    ASSERT_TRUE(Image->Error.empty()) << Image->Error;
    ASSERT_GT(Image->Fixups, 0u);
    const std::map<std::string, uint32_t> Symbols = MapSymbols(PEI_MAP_FILE, Image->ImageBase);
    ASSERT_EQ(Symbols.count("_TraceStatusPeimEntry"), 1u) << PEI_MAP_FILE;
    ASSERT_EQ(Symbols.at("_TraceStatusPeimEntry"), Image->EntryRva);
    // A function's room is up to the next symbol; a jump needs 5 bytes. The debugger stop (a pause and a
    // return) is too short and stays as it is: no status code here leads to a CSR stop.
    std::vector<uint32_t> Starts;
    for (const auto &[Name, Rva] : Symbols) Starts.push_back(Rva);
    std::sort(Starts.begin(), Starts.end());
    unsigned Redirected = 0;
    for (const auto &[Name, Target] : kPrimitives) {
      auto It = Symbols.find(Name);
      if (It == Symbols.end()) continue;
      auto Next = std::upper_bound(Starts.begin(), Starts.end(), It->second);
      const uint32_t Room = Next != Starts.end() ? *Next - It->second : Image->Size - It->second;
      if (Room < 5) {
        ASSERT_STREQ(Name, "_DebugStopPoll") << "no room for a jump in " << Name;
        continue;
      }
      Image->Redirect(It->second, Target);
      ++Redirected;
    }
    ASSERT_GE(Redirected, 5u) << "the image's MMIO and SIDT primitives were not found in " << PEI_MAP_FILE;
    Entry = reinterpret_cast<EFI_STATUS (*)(VOID *, const EFI_PEI_SERVICES **)>(Image->Base + Image->EntryRva);
  }

  std::unique_ptr<MappedImage> Image;
  EFI_STATUS (*Entry)(VOID *, const EFI_PEI_SERVICES **) = nullptr;
};

TEST_F(PeimImageRun, RegistersItsOwnListenerAndWritesWhatTheHostLinkedModuleWrites) {
  Outcome FromImage;
  {
    sim::TracePlatform Platform;
    ASSERT_EQ(Entry(nullptr, nullptr), EFI_SUCCESS);
    ASSERT_EQ(Platform.handler().listeners().size(), 1u);
    EXPECT_TRUE(Image->Contains(reinterpret_cast<const void *>(Platform.handler().listeners()[0])));
    FromImage = ReportAll(Platform);
  }
  Outcome FromHost;
  {
    sim::TracePlatform Platform;
    ASSERT_EQ(TraceStatusPeimEntry(nullptr, nullptr), EFI_SUCCESS);
    FromHost = ReportAll(Platform);
  }
  EXPECT_TRUE(FromImage.Violations.empty()) << FromImage.Violations.front();
  ASSERT_EQ(FromImage.Statuses.size(), std::size(kCodes));
  for (EFI_STATUS S : FromImage.Statuses) EXPECT_EQ(S, EFI_SUCCESS);
  ASSERT_GT(FromHost.Writes.size(), 100u);
  ASSERT_EQ(FromImage.Writes.size(), FromHost.Writes.size());
  for (size_t I = 0; I < FromHost.Writes.size(); ++I) {
    const sim::TraceHubWrite &A = FromImage.Writes[I], &B = FromHost.Writes[I];
    ASSERT_EQ(A.address, B.address) << "write " << I;
    ASSERT_EQ(A.write.width, B.write.width) << "write " << I;
    ASSERT_EQ(A.write.value, B.write.value) << "write " << I;
  }
}

TEST_F(PeimImageRun, AnUnusableHubGetsNothingFromTheImage) {
  sim::TracePlatformConfig Config;
  Config.pmc.trace_hub_disabled = true;
  sim::TracePlatform Platform(Config);
  ASSERT_EQ(Entry(nullptr, nullptr), EFI_SUCCESS);
  const Outcome R = ReportAll(Platform);
  for (EFI_STATUS S : R.Statuses) EXPECT_EQ(S, EFI_SUCCESS);
  EXPECT_TRUE(R.Writes.empty());
  EXPECT_TRUE(R.Violations.empty());
}

#else

TEST(PeimImageRun, RunsOnlyIn32BitBuilds) { GTEST_SKIP() << "the PEI image is IA-32 code"; }

#endif

}  // namespace
