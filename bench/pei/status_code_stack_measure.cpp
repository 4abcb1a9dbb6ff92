// Deepest stack use of one status code in the 32-bit build. The listener runs on a painted stack of its
// own, on a bare platform whose hardware, PEI-service and PCD entries are small leaf functions (not the
// simulator, whose frames would hide the module's). Printed per status code:
// - painted: bytes below the listener's caller that were written (module frames and the leaf entries'),
//   return address included, the most of two paint patterns;
// - module at its deepest call-out: the module's frames when it called a platform entry deepest, exact;
// - the frames at that call-out, unwound (the module needs unwind tables: -funwind-tables): each
//   function's address relative to the image start and its frame's bytes, for the cross-check with the
//   compiler's -fstack-usage figures (scripts/perf-report.sh names the functions and sums both).
#include <ucontext.h>
#include <unwind.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "bench/pei/status_code_cases.h"
#include "hw/debug_stop.h"
#include "hw/mmio.h"
#include "trace/listener/status_code_listener.h"
#include "uefi/pei_services.h"
#include "uefi/protocols/pcd_ppi.h"
#include "uefi/status.h"

extern "C" char __executable_start[];

namespace {

static_assert(sizeof(void*) == 4, "the stack of the 32-bit module is measured in the 32-bit build");

// Bare platform: the PMC's configuration space in the MMCFG window, its power-management region, the
// trace hub's window (probe word 0; writes counted).
constexpr uintptr_t kMmcfgBase = 0x80000000u;
constexpr uintptr_t kPmcConfig = kMmcfgBase + (31u << 15) + (2u << 12);
constexpr uintptr_t kPowerMgmtBase = 0xFE000000u;
constexpr uintptr_t kHubWindow = 0xFE200000u, kHubWindowSize = 0x200000u;

uint8_t g_pmc_config[4096];
uint8_t g_power_mgmt[0x1000];
uint32_t g_hub_writes = 0;
uint32_t g_stray_accesses = 0;
uint8_t g_mcfg_table[32];  // header and one entry: segment 0 at kMmcfgBase

// Deepest call-out seen: the caller's stack pointer at the call (the call frame address of the entry).
// The unwinding pass records the frames when the call-out found by the painted passes comes again.
uintptr_t g_deepest_callout = UINTPTR_MAX;
uintptr_t g_unwind_at = 0;
struct Frame {
  uintptr_t ip;
  uintptr_t cfa;
};
Frame g_frames[64];
unsigned g_frame_count = 0;

_Unwind_Reason_Code CollectFrame(_Unwind_Context* context, void*) {
  if (g_frame_count == 64) return _URC_END_OF_STACK;
  g_frames[g_frame_count++] = {_Unwind_GetIP(context), _Unwind_GetCFA(context)};
  return _URC_NO_REASON;
}

__attribute__((noinline)) void NoteCallout(uintptr_t cfa) {
  if (cfa < g_deepest_callout) g_deepest_callout = cfa;
  if (cfa == g_unwind_at) {
    g_unwind_at = 0;
    g_frame_count = 0;
    _Unwind_Backtrace(CollectFrame, nullptr);
  }
}

#define NOTE_CALLOUT() NoteCallout(reinterpret_cast<uintptr_t>(__builtin_dwarf_cfa()))

uint64_t ReadAt(UINTN address, unsigned width) {
  const uint8_t* bytes = nullptr;
  if (address >= kPmcConfig && address + width <= kPmcConfig + sizeof g_pmc_config) {
    bytes = g_pmc_config + (address - kPmcConfig);
  } else if (address >= kPowerMgmtBase && address + width <= kPowerMgmtBase + sizeof g_power_mgmt) {
    bytes = g_power_mgmt + (address - kPowerMgmtBase);
  } else if (address >= kHubWindow && address < kHubWindow + kHubWindowSize) {
    return 0;
  } else {
    ++g_stray_accesses;
    return ~0ull;
  }
  uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  return value;
}

void WriteAt(UINTN address) {
  if (address >= kHubWindow && address < kHubWindow + kHubWindowSize) {
    ++g_hub_writes;
  } else {
    ++g_stray_accesses;
  }
}

UINT64 EFIAPI PcdGet64(UINTN token) {
  NOTE_CALLOUT();
  return token == 44 ? kMmcfgBase : 0;
}

VOID* EFIAPI PcdGetPtr(UINTN token) {
  NOTE_CALLOUT();
  return token == 60 ? g_mcfg_table : nullptr;
}

PCD_PPI g_pcd_ppi;

EFI_STATUS EFIAPI LocatePpi(const EFI_PEI_SERVICES**, const EFI_GUID* guid, UINTN, EFI_PEI_PPI_DESCRIPTOR**,
                            VOID** ppi) {
  NOTE_CALLOUT();
  if (std::memcmp(guid, &gPcdPpiGuid, sizeof *guid) != 0) return EFI_NOT_FOUND;
  *ppi = &g_pcd_ppi;
  return EFI_SUCCESS;
}

EFI_PEI_SERVICES g_services;
const EFI_PEI_SERVICES* g_services_pointer = &g_services;
uintptr_t g_idt_area[1 + 64];  // the word below the IDT base, then the IDT

void SetUpPlatform() {
  g_pmc_config[0] = 0x3B;
  g_pmc_config[1] = 0x7A;  // vendor ID
  g_pmc_config[0x48] = 0x04;
  g_pmc_config[0x4A] = 0x00;
  g_pmc_config[0x4B] = 0xFE;  // power-management base 0xFE000000
  std::memcpy(g_mcfg_table, "MCFG", 4);
  g_mcfg_table[4] = sizeof g_mcfg_table;  // length
  for (unsigned i = 0; i < 4; ++i) g_mcfg_table[16 + i] = static_cast<uint8_t>(kMmcfgBase >> (8 * i));
  g_mcfg_table[27] = 0xFF;  // last bus
  g_pcd_ppi.Get64 = PcdGet64;
  g_pcd_ppi.GetPtr = PcdGetPtr;
  g_services.LocatePpi = LocatePpi;
  g_idt_area[0] = reinterpret_cast<uintptr_t>(&g_services_pointer);
}

// The listener runs on this stack, called through a pointer so the empty stand-in shares its call site.
alignas(16) uint8_t g_stack[64 * 1024];
ucontext_t g_main_context, g_listener_context;
EFI_PEI_RSC_HANDLER_CALLBACK volatile g_callee = nullptr;
const bench::StatusCodeCase* g_case = nullptr;

EFI_STATUS EFIAPI EmptyListener(const EFI_PEI_SERVICES**, EFI_STATUS_CODE_TYPE, EFI_STATUS_CODE_VALUE, UINT32,
                                const EFI_GUID*, const EFI_STATUS_CODE_DATA*) {
  return EFI_SUCCESS;
}

void CallOnStack() {
  const bench::StatusCodeCase& c = *g_case;
  g_callee(&g_services_pointer, c.type, c.value, c.instance, c.caller,
           static_cast<const EFI_STATUS_CODE_DATA*>(c.data));
}

// Lowest written address of the listener stack after calling callee on a stack painted with pattern.
uintptr_t LowestWritten(EFI_PEI_RSC_HANDLER_CALLBACK callee, uint8_t pattern) {
  std::memset(g_stack, pattern, sizeof g_stack);
  g_callee = callee;
  getcontext(&g_listener_context);
  g_listener_context.uc_stack.ss_sp = g_stack;
  g_listener_context.uc_stack.ss_size = sizeof g_stack;
  g_listener_context.uc_link = &g_main_context;
  makecontext(&g_listener_context, CallOnStack, 0);
  swapcontext(&g_main_context, &g_listener_context);
  size_t i = 0;
  while (i < sizeof g_stack && g_stack[i] == pattern) ++i;
  return reinterpret_cast<uintptr_t>(g_stack + i);
}

// The frames between the platform entry and the listener's caller: function address (a call's return
// address minus one, relative to the image start) and the frame's bytes at that moment.
void PrintFrames(uintptr_t top) {
  printf("  frames at the deepest call-out (address, bytes):");
  // A frame's recorded CFA is its stack pointer at the call it made; its caller's is where it ends.
  for (unsigned i = 1; i + 1 < g_frame_count && g_frames[i].cfa < top; ++i) {
    uintptr_t ip = g_frames[i].ip - 1 - reinterpret_cast<uintptr_t>(__executable_start);
    printf(" %#x:%u", static_cast<unsigned>(ip), static_cast<unsigned>(g_frames[i + 1].cfa - g_frames[i].cfa));
  }
  printf("\n");
}

}  // namespace

extern "C" {
UINT8 MmioRead8(UINTN Address) {
  NOTE_CALLOUT();
  return static_cast<UINT8>(ReadAt(Address, 1));
}
UINT16 MmioRead16(UINTN Address) {
  NOTE_CALLOUT();
  return static_cast<UINT16>(ReadAt(Address, 2));
}
UINT32 MmioRead32(UINTN Address) {
  NOTE_CALLOUT();
  return static_cast<UINT32>(ReadAt(Address, 4));
}
UINT64 MmioRead64(UINTN Address) {
  NOTE_CALLOUT();
  return ReadAt(Address, 8);
}
void MmioWrite8(UINTN Address, UINT8) {
  NOTE_CALLOUT();
  WriteAt(Address);
}
void MmioWrite16(UINTN Address, UINT16) {
  NOTE_CALLOUT();
  WriteAt(Address);
}
void MmioWrite32(UINTN Address, UINT32) {
  NOTE_CALLOUT();
  WriteAt(Address);
}
void MmioWrite64(UINTN Address, UINT64) {
  NOTE_CALLOUT();
  WriteAt(Address);
}
UINTN ReadIdtBase(void) {
  NOTE_CALLOUT();
  return reinterpret_cast<UINTN>(&g_idt_area[1]);
}
void DebugStopPoll(volatile UINT8* Flag, const CHAR8*, const UINT32*, UINT32) {
  ++g_stray_accesses;
  *Flag = 0;
}
}

int main() {
  SetUpPlatform();
  sim::StatusCodeRecordArena arena;
  auto cases = bench::MakeStatusCodeCases(arena);
  printf("%-10s %14s %22s %12s\n", "code", "painted bytes", "module at call-out", "hub writes");
  int status = 0;
  for (const auto& c : cases) {
    g_case = &c;
    // The empty stand-in writes only its return address: that slot is where the listener's use begins.
    uintptr_t top = LowestWritten(EmptyListener, 0xCD) + 4;
    g_deepest_callout = UINTPTR_MAX;
    g_hub_writes = 0;
    uintptr_t lowest = LowestWritten(StatusCodeListener, 0xCD);
    uint32_t writes = g_hub_writes;
    uintptr_t lowest_again = LowestWritten(StatusCodeListener, 0x5A);
    if (lowest_again < lowest) lowest = lowest_again;
    printf("%-10s %14u %22u %12u\n", c.name, static_cast<unsigned>(top - lowest),
           static_cast<unsigned>(top - g_deepest_callout), writes);
    g_unwind_at = g_deepest_callout;
    LowestWritten(StatusCodeListener, 0xCD);
    PrintFrames(top);
    if (writes == 0) status = 1;
  }
  if (g_stray_accesses != 0) {
    printf("%u accesses outside the bare platform\n", static_cast<unsigned>(g_stray_accesses));
    status = 1;
  }
  return status;
}
