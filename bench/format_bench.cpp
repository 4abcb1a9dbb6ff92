// Formatter speed on the status-code listener's real lines against the C library's snprintf on
// equivalent formats. Plain run: Google Benchmark times, then the time ratio per line. Under callgrind
// (valgrind --tool=callgrind ./format_bench, run in a writable directory): instructions per line of each
// side, read back from callgrind's own dumps, and their ratio. The formatter here is the host build of the
// engine; the count that the target is held to is the PEI image's own on the same lines
// (bench/image/image_cost_measure.cpp), against snprintf's count from this program.
#include <sys/mman.h>
#include <unistd.h>
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "trace/format/format_text.h"
#include "trace/listener/status_code_records.h"
#include "uefi/guid.h"

namespace {

constexpr UINTN kLineBuffer = 2048;  // the listener's text buffer

const EFI_GUID kCaller = {0x23A3E7BA, 0x75D1, 0x4CB9, {0x9C, 0x8F, 0x56, 0xFA, 0x4E, 0x48, 0xD9, 0x9E}};
const UINT32 kDataAddress = 0xFEF0C140u;

// The error line exactly as the listener builds it: the head, then " %g", " %x" and the line end appended.
__attribute__((noinline)) UINT32 ErrorLineFormatter(char* Buffer) {
  UINT32 N = FormatText(Buffer, kLineBuffer, "ERROR: C%08x:V%08x I%x", 0x80000002u, 0x0301000Au, 0u);
  N += FormatText(Buffer + N, kLineBuffer - N, " %g", &kCaller);
  N += FormatText(Buffer + N, kLineBuffer - N, " %x", kDataAddress);
  N += FormatText(Buffer + N, kLineBuffer - N, "\n\r");
  return N;
}

// The same text in one snprintf call (its most favourable form).
__attribute__((noinline)) UINT32 ErrorLineSnprintf(char* Buffer) {
  const UINT8* B = kCaller.Data4;
  return static_cast<UINT32>(snprintf(Buffer, kLineBuffer,
                                      "ERROR: C%08X:V%08X I%X %08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X %X\r\n",
                                      0x80000002u, 0x0301000Au, 0u, kCaller.Data1, kCaller.Data2, kCaller.Data3, B[0],
                                      B[1], B[2], B[3], B[4], B[5], B[6], B[7], kDataAddress));
}

// The debug and assertion lines are formatted from status-code data records laid out as the listener
// receives them, with the listener's own calls; the records live below 4 GiB (a packed list holds 32-bit
// pointers).
const char kImageName[] = "PlatformMemoryInit";
const char kDebugFormat[] = "Loading PEIM %a at 0x%08x EntryPoint=0x%08x, size %d bytes: %r\n";
const char kAssertFile[] = "Platform/Pei/MemoryInit/MemoryInit.c";
const char kAssertText[] = "!EFI_ERROR (Status)";
constexpr UINT32 kAssertLine = 412;

struct Records {
  const UINT8* Debug;   // debug-information record
  const UINT8* Assert;  // assertion record
};

Records Low = {nullptr, nullptr};

void Put32(UINT8* At, UINT32 Value) { memcpy(At, &Value, 4); }

bool MakeRecords() {
  void* Page = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  if (Page == MAP_FAILED) return false;
  UINT8* Debug = static_cast<UINT8*>(Page);
  memcpy(Debug + StatusCodeDataTypeGuidOffset, &gStatusCodeDebugInfoGuid, sizeof(EFI_GUID));
  Put32(Debug + DebugInfoErrorLevelOffset, 0x00000040);  // an informational message
  memcpy(Debug + DebugInfoFormatOffset, kDebugFormat, sizeof kDebugFormat);
  UINT8* Name = Debug + 1024;
  memcpy(Name, kImageName, sizeof kImageName);
  const UINT32 Args[] = {static_cast<UINT32>(reinterpret_cast<UINTN>(Name)), 0xFFE21000u, 0xFFE21240u, 18432u, 0u};
  memcpy(Debug + DebugInfoArgumentsOffset, Args, sizeof Args);

  UINT8* Assert = Debug + 2048;
  Put32(Assert + AssertLineNumberOffset, kAssertLine);
  memcpy(Assert + AssertFileNameOffset, kAssertFile, sizeof kAssertFile);
  memcpy(Assert + AssertFileNameOffset + sizeof kAssertFile, kAssertText, sizeof kAssertText);
  Low = {Debug, Assert};
  return true;
}

// The listener's call for a debug record: format at offset 120, packed list of 96 bytes at offset 24.
__attribute__((noinline)) UINT32 DebugLineFormatter(char* Buffer) {
  return FormatTextPacked(Buffer, kLineBuffer, 0, Low.Debug + DebugInfoFormatOffset,
                          Low.Debug + DebugInfoArgumentsOffset, DebugInfoArgumentsSize);
}

// snprintf has no %r: it is given the status name the formatter looks up ("Success" for 0).
__attribute__((noinline)) UINT32 DebugLineSnprintf(char* Buffer) {
  const UINT8* Args = Low.Debug + DebugInfoArgumentsOffset;
  UINT32 Name;
  UINT32 Base;
  UINT32 Entry;
  UINT32 Size;
  memcpy(&Name, Args, 4);
  memcpy(&Base, Args + 4, 4);
  memcpy(&Entry, Args + 8, 4);
  memcpy(&Size, Args + 12, 4);
  return static_cast<UINT32>(snprintf(
      Buffer, kLineBuffer, "Loading PEIM %s at 0x%08X EntryPoint=0x%08X, size %d bytes: %s\r\n",
      reinterpret_cast<const char*>(static_cast<UINTN>(Name)), Base, Entry, static_cast<int>(Size), "Success"));
}

// The listener's call for an assertion record: file name at offset 52, the description after its NUL,
// line number at offset 40.
const char* AssertFileName() { return reinterpret_cast<const char*>(Low.Assert + AssertFileNameOffset); }
const char* AssertDescription() { return AssertFileName() + sizeof kAssertFile; }
UINT32 AssertLineNumber() {
  UINT32 Line;
  memcpy(&Line, Low.Assert + AssertLineNumberOffset, 4);
  return Line;
}

__attribute__((noinline)) UINT32 AssertLineFormatter(char* Buffer) {
  return FormatText(Buffer, kLineBuffer, "\n\rPEI_ASSERT!: %a (%d): %a\n\r", AssertFileName(), AssertLineNumber(),
                    AssertDescription());
}

__attribute__((noinline)) UINT32 AssertLineSnprintf(char* Buffer) {
  return static_cast<UINT32>(snprintf(Buffer, kLineBuffer, "\r\nPEI_ASSERT!: %s (%d): %s\r\n", AssertFileName(),
                                      static_cast<int>(AssertLineNumber()), AssertDescription()));
}

struct Line {
  const char* Name;
  UINT32 (*Formatter)(char*);
  UINT32 (*Snprintf)(char*);
};

const Line kLines[] = {{"error", ErrorLineFormatter, ErrorLineSnprintf},
                       {"debug", DebugLineFormatter, DebugLineSnprintf},
                       {"assert", AssertLineFormatter, AssertLineSnprintf}};

// Both sides must produce the same text, terminator included, or the comparison means nothing.
bool SameTexts() {
  bool Same = true;
  for (const Line& L : kLines) {
    char A[kLineBuffer];
    char B[kLineBuffer];
    memset(A, 0x5A, sizeof A);
    memset(B, 0xA5, sizeof B);
    UINT32 NA = L.Formatter(A);
    UINT32 NB = L.Snprintf(B);
    if (NA != NB || NA >= kLineBuffer || memcmp(A, B, NA + 1) != 0) {
      fprintf(stderr, "%s line differs:\n  formatter: %.*s\n  snprintf:  %.*s\n", L.Name, static_cast<int>(NA), A,
              static_cast<int>(NB), B);
      Same = false;
    }
  }
  return Same;
}

void Run(benchmark::State& State, UINT32 (*Format)(char*)) {
  char Buffer[kLineBuffer];
  for (auto _ : State) {
    benchmark::DoNotOptimize(Format(Buffer));
    benchmark::ClobberMemory();
  }
}

// Console output plus, at the end, formatter time / snprintf time for each line.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& Runs) override {
    // Plain runs, or the medians when repetitions report aggregates, keyed by the benchmark's name.
    for (const Run& R : Runs) {
      if (R.run_type == Run::RT_Iteration || R.aggregate_name == "median") {
        Times[R.run_name.function_name] = R.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(Runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    printf("\nCPU time per line, formatter / snprintf:\n");
    for (const Line& L : kLines) {
      std::string Name = L.Name;
      double Ours = Times["formatter/" + Name];
      double Theirs = Times["snprintf/" + Name];
      if (Ours > 0 && Theirs > 0) printf("  %-7s %8.1f ns / %8.1f ns = %.2f\n", L.Name, Ours, Theirs, Ours / Theirs);
    }
  }

 private:
  std::map<std::string, double> Times;
};

// Under callgrind: each side of each line runs kRepeats times between a zeroing and a named dump; the
// dumps' totals, divided by kRepeats, are the instructions per line.
constexpr int kRepeats = 10000;

unsigned long long InstructionsOfDump(int Part) {
  std::ifstream In("callgrind.out." + std::to_string(getpid()) + "." + std::to_string(Part));
  std::string Text;
  while (std::getline(In, Text)) {
    if (Text.rfind("summary: ", 0) == 0 || Text.rfind("totals: ", 0) == 0) {
      return strtoull(Text.c_str() + Text.find(' ') + 1, nullptr, 10);
    }
  }
  return 0;
}

unsigned long long Measure(UINT32 (*Format)(char*), const char* Name, int* Part) {
  char Buffer[kLineBuffer];
  CALLGRIND_ZERO_STATS;
  for (int I = 0; I < kRepeats; ++I) {
    benchmark::DoNotOptimize(Format(Buffer));
    benchmark::ClobberMemory();
  }
  CALLGRIND_DUMP_STATS_AT(Name);
  return InstructionsOfDump(++*Part) / kRepeats;
}

int CountInstructions() {
  int Part = 0;
  printf("Instructions per line (callgrind, %d repeats), formatter / snprintf:\n", kRepeats);
  for (const Line& L : kLines) {
    unsigned long long Ours = Measure(L.Formatter, L.Name, &Part);
    unsigned long long Theirs = Measure(L.Snprintf, L.Name, &Part);
    if (Ours == 0 || Theirs == 0) {
      printf("  no callgrind dump found: run in a writable directory without --callgrind-out-file\n");
      return 1;
    }
    printf("  %-7s %6llu / %6llu = %.2f\n", L.Name, Ours, Theirs, static_cast<double>(Ours) / Theirs);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!MakeRecords()) {
    fprintf(stderr, "no memory below 4 GiB for the status-code records\n");
    return 1;
  }
  if (!SameTexts()) {
    fprintf(stderr, "the two sides do not produce the same text: no figures\n");
    return 1;
  }
  if (RUNNING_ON_VALGRIND) return CountInstructions();
  for (const Line& L : kLines) {
    benchmark::RegisterBenchmark((std::string("formatter/") + L.Name).c_str(), Run, L.Formatter);
    benchmark::RegisterBenchmark((std::string("snprintf/") + L.Name).c_str(), Run, L.Snprintf);
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  benchmark::Shutdown();
  return 0;
}
