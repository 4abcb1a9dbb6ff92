// Token storage behind the simulated PCD PPI; the PPI's unprovided functions report violations.
#include "sim/pei/pcd_database.h"

#include <cstring>
#include <string>
#include <utility>

#include "sim/common/platform_context.h"
#include "sim/pei/pei_platform.h"

namespace sim {

namespace {

constexpr size_t kPcdSlots = sizeof(PCD_PPI) / sizeof(void*);

// The database of the attached PEI platform; with none attached the call is reported and answers nothing.
PcdDatabase* Active(const char* function) {
  PeiPlatform* platform = PeiPlatform::Current();
  if (platform == nullptr) {
    ReportToCurrentPlatform(std::string("PCD PPI ") + function + " called while no PEI platform is attached");
    return nullptr;
  }
  return &platform->pcds();
}

template <size_t Slot>
UINTN EFIAPI UnprovidedPcdFunction() {
  ReportToCurrentPlatform("PCD PPI function " + std::to_string(Slot) +
                          " called; the simulated PCD PPI provides only Get64, GetPtr and GetSize");
  return 0;
}

template <size_t... Slots>
void FillUnprovidedPcd(void** slots, std::index_sequence<Slots...>) {
  ((slots[Slots] = reinterpret_cast<void*>(&UnprovidedPcdFunction<Slots>)), ...);
}

UINT64 EFIAPI PcdGet64(UINTN token) {
  PcdDatabase* pcds = Active("Get64");
  return pcds != nullptr ? pcds->Get64(token) : 0;
}
VOID* EFIAPI PcdGetPtr(UINTN token) {
  PcdDatabase* pcds = Active("GetPtr");
  return pcds != nullptr ? pcds->GetPtr(token) : nullptr;
}
UINTN EFIAPI PcdGetSize(UINTN token) {
  PcdDatabase* pcds = Active("GetSize");
  return pcds != nullptr ? pcds->GetSize(token) : 0;
}

}  // namespace

PcdDatabase::PcdDatabase(Violations& violations) : violations_(violations) {
  std::memset(&ppi_, 0, sizeof ppi_);
  FillUnprovidedPcd(reinterpret_cast<void**>(&ppi_), std::make_index_sequence<kPcdSlots>());
  ppi_.Get64 = PcdGet64;
  ppi_.GetPtr = PcdGetPtr;
  ppi_.GetSize = PcdGetSize;
}

void PcdDatabase::SetValue(UINTN token, uint64_t value) { tokens_[token] = Token{false, value, nullptr, 8}; }

void PcdDatabase::SetPointer(UINTN token, void* pointer, UINTN size) { tokens_[token] = Token{true, 0, pointer, size}; }

uint64_t PcdDatabase::Reads(UINTN token) const {
  auto it = reads_.find(token);
  return it == reads_.end() ? 0 : it->second;
}

const PcdDatabase::Token* PcdDatabase::Find(UINTN token, const char* function) {
  ++reads_[token];
  auto it = tokens_.find(token);
  if (it == tokens_.end()) {
    violations_.Report(std::string("PCD PPI ") + function + " of token " + std::to_string(token) +
                       ", which the platform does not define");
    return nullptr;
  }
  return &it->second;
}

uint64_t PcdDatabase::Get64(UINTN token) {
  const Token* t = Find(token, "Get64");
  if (t == nullptr) return 0;
  if (t->pointer) {
    violations_.Report("PCD PPI Get64 of token " + std::to_string(token) + ", which holds a pointer");
    return 0;
  }
  return t->value;
}

void* PcdDatabase::GetPtr(UINTN token) {
  const Token* t = Find(token, "GetPtr");
  if (t == nullptr) return nullptr;
  if (!t->pointer) {
    violations_.Report("PCD PPI GetPtr of token " + std::to_string(token) + ", which holds a value");
    return nullptr;
  }
  return t->address;
}

UINTN PcdDatabase::GetSize(UINTN token) {
  const Token* t = Find(token, "GetSize");
  return t == nullptr ? 0 : t->size;
}

}  // namespace sim
