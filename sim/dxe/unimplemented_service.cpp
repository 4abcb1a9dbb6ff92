// A fixed set of stand-in functions, each bound to one service name on first request.
#include "sim/dxe/unimplemented_service.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "uefi/base_types.h"
#include "uefi/status.h"

namespace sim {

namespace {

constexpr size_t kStandIns = 160;
std::array<const char*, kStandIns> g_names{};
Violations* g_sink = nullptr;

void Called(size_t index) {
  const char* name = g_names[index] ? g_names[index] : "unknown service";
  if (g_sink == nullptr) {
    std::fprintf(stderr, "simulator: module called %s, which the platform does not implement\n", name);
    std::abort();
  }
  g_sink->Report(std::string(name) + " called: the simulated platform does not implement it");
}

template <size_t N>
UINTN EFIAPI StandIn() {
  Called(N);
  return EFI_UNSUPPORTED;
}

template <size_t... N>
std::array<void*, sizeof...(N)> MakeStandIns(std::index_sequence<N...>) {
  return {reinterpret_cast<void*>(&StandIn<N>)...};
}

const std::array<void*, kStandIns>& StandIns() {
  static const std::array<void*, kStandIns> table = MakeStandIns(std::make_index_sequence<kStandIns>{});
  return table;
}

}  // namespace

void* UnimplementedService(const char* service) {
  for (size_t i = 0; i < kStandIns; ++i) {
    if (g_names[i] == nullptr) {
      g_names[i] = service;
      return StandIns()[i];
    }
    if (std::strcmp(g_names[i], service) == 0) return StandIns()[i];
  }
  std::fprintf(stderr, "simulator: more than %zu unimplemented services\n", kStandIns);
  std::abort();
}

void SetUnimplementedServiceSink(Violations* violations) { g_sink = violations; }

}  // namespace sim
