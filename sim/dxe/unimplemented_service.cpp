// A fixed set of stand-in functions, each bound to one service name on first request.
#include "sim/dxe/unimplemented_service.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "sim/common/platform_context.h"
#include "uefi/base_types.h"
#include "uefi/status.h"

namespace sim {

namespace {

constexpr size_t kStandIns = 160;
// The service name each stand-in is bound to (fixed once bound; not platform state).
std::array<const char*, kStandIns> g_names{};

void Called(size_t index) {
  const char* name = g_names[index] ? g_names[index] : "unknown service";
  ReportToCurrentPlatform(std::string(name) + " called: the simulated platform does not implement it");
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

const char* UnimplementedServiceName(const void* function) {
  for (size_t i = 0; i < kStandIns && g_names[i] != nullptr; ++i) {
    if (StandIns()[i] == function) return g_names[i];
  }
  return nullptr;
}

}  // namespace sim
