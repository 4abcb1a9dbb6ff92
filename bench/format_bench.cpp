// Formatter speed on the status-code listener's real lines against the C library's snprintf on
// equivalent formats. Plain run: Google Benchmark times, then the time ratio per line. Under callgrind
// (valgrind --tool=callgrind ./format_bench, run in a writable directory): instructions per line of each
// side, read back from callgrind's own dumps, and their ratio.
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
#include "uefi/guid.h"

namespace {

constexpr UINTN kLineBuffer = 2048;  // the listener's text buffer

const EFI_GUID kCaller = {0x23A3E7BA, 0x75D1, 0x4CB9, {0x9C, 0x8F, 0x56, 0xFA, 0x4E, 0x48, 0xD9, 0x9E}};
const UINT32 kDataAddress = 0xFEF0C140u;

// The error line exactly as the listener builds it: the head, then " %g", " %x" and the line end appended.
__attribute__((noinline)) UINT32 ErrorLineFormatter(char *Buffer) {
  UINT32 N = FormatText(Buffer, kLineBuffer, "ERROR: C%08x:V%08x I%x", 0x80000002u, 0x0301000Au, 0u);
  N += FormatText(Buffer + N, kLineBuffer - N, " %g", &kCaller);
  N += FormatText(Buffer + N, kLineBuffer - N, " %x", kDataAddress);
  N += FormatText(Buffer + N, kLineBuffer - N, "\n\r");
  return N;
}

// The same text in one snprintf call (its most favourable form).
__attribute__((noinline)) UINT32 ErrorLineSnprintf(char *Buffer) {
  const UINT8 *B = kCaller.Data4;
  return static_cast<UINT32>(snprintf(Buffer, kLineBuffer,
                                      "ERROR: C%08X:V%08X I%X %08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X %X\r\n",
                                      0x80000002u, 0x0301000Au, 0u, kCaller.Data1, kCaller.Data2, kCaller.Data3, B[0],
                                      B[1], B[2], B[3], B[4], B[5], B[6], B[7], kDataAddress));
}

// A debug message as the listener formats it: the format and the packed argument list of a debug record.
struct DebugRecord {
  UINT8 Packed[96];
  const char *Format;
};

const char kImageName[] = "PlatformMemoryInit";

// The record, with the image name copied below 4 GiB: the packed list holds 32-bit pointers.
const DebugRecord *MakeDebugRecord() {
  void *Low = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  if (Low == MAP_FAILED) return nullptr;
  DebugRecord *R = static_cast<DebugRecord *>(Low);
  char *Name = static_cast<char *>(Low) + sizeof(DebugRecord);
  memcpy(Name, kImageName, sizeof kImageName);
  const UINT32 Args[] = {static_cast<UINT32>(reinterpret_cast<UINTN>(Name)), 0xFFE21000u, 0xFFE21240u, 18432u, 0u};
  memcpy(R->Packed, Args, sizeof Args);
  R->Format = "Loading PEIM %a at 0x%08x EntryPoint=0x%08x, size %d bytes: %r\n";
  return R;
}

const DebugRecord *Debug = nullptr;

__attribute__((noinline)) UINT32 DebugLineFormatter(char *Buffer) {
  return FormatTextEngine(Buffer, kLineBuffer, 0, Debug->Format, nullptr, Debug->Packed);
}

__attribute__((noinline)) UINT32 DebugLineSnprintf(char *Buffer) {
  return static_cast<UINT32>(snprintf(Buffer, kLineBuffer,
                                      "Loading PEIM %s at 0x%08X EntryPoint=0x%08X, size %d bytes: %s\r\n",
                                      kImageName, 0xFFE21000u, 0xFFE21240u, 18432, "Success"));
}

const char kAssertFile[] = "Platform/Pei/MemoryInit/MemoryInit.c";
const char kAssertText[] = "!EFI_ERROR (Status)";

__attribute__((noinline)) UINT32 AssertLineFormatter(char *Buffer) {
  return FormatText(Buffer, kLineBuffer, "\n\rPEI_ASSERT!: %a (%d): %a\n\r", kAssertFile, 412, kAssertText);
}

__attribute__((noinline)) UINT32 AssertLineSnprintf(char *Buffer) {
  return static_cast<UINT32>(
      snprintf(Buffer, kLineBuffer, "\r\nPEI_ASSERT!: %s (%d): %s\r\n", kAssertFile, 412, kAssertText));
}

struct Line {
  const char *Name;
  UINT32 (*Formatter)(char *);
  UINT32 (*Snprintf)(char *);
};

const Line kLines[] = {{"error", ErrorLineFormatter, ErrorLineSnprintf},
                       {"debug", DebugLineFormatter, DebugLineSnprintf},
                       {"assert", AssertLineFormatter, AssertLineSnprintf}};

// Both sides must produce the same text, or the comparison means nothing.
bool SameTexts() {
  bool Same = true;
  for (const Line &L : kLines) {
    char A[kLineBuffer];
    char B[kLineBuffer];
    UINT32 NA = L.Formatter(A);
    UINT32 NB = L.Snprintf(B);
    if (NA != NB || memcmp(A, B, NA) != 0) {
      fprintf(stderr, "%s line differs:\n  formatter: %.*s\n  snprintf:  %.*s\n", L.Name, static_cast<int>(NA), A,
              static_cast<int>(NB), B);
      Same = false;
    }
  }
  return Same;
}

void Run(benchmark::State &State, UINT32 (*Format)(char *)) {
  char Buffer[kLineBuffer];
  for (auto _ : State) {
    benchmark::DoNotOptimize(Format(Buffer));
    benchmark::ClobberMemory();
  }
}

// Console output plus, at the end, formatter time / snprintf time for each line.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &Runs) override {
    for (const Run &R : Runs) Times[R.benchmark_name()] = R.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(Runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    printf("\nCPU time per line, formatter / snprintf:\n");
    for (const Line &L : kLines) {
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

unsigned long long Measure(UINT32 (*Format)(char *), const char *Name, int *Part) {
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
  for (const Line &L : kLines) {
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

int main(int argc, char **argv) {
  Debug = MakeDebugRecord();
  if (Debug == nullptr) {
    fprintf(stderr, "no memory below 4 GiB for the debug record\n");
    return 1;
  }
  if (!SameTexts()) return 1;
  if (RUNNING_ON_VALGRIND) return CountInstructions();
  for (const Line &L : kLines) {
    benchmark::RegisterBenchmark((std::string("formatter/") + L.Name).c_str(), Run, L.Formatter);
    benchmark::RegisterBenchmark((std::string("snprintf/") + L.Name).c_str(), Run, L.Snprintf);
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  benchmark::Shutdown();
  return 0;
}
