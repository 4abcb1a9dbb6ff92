// PCD tokens by number and the PCD protocol functions that read them.
#include "sim/dxe/pcd_store.h"

#include <cstdio>
#include <cstdlib>

#include "sim/dxe/dxe_platform.h"
#include "sim/dxe/unimplemented_service.h"

namespace sim {

namespace {

const char* KindName(PcdStore::Kind kind) {
  switch (kind) {
    case PcdStore::Kind::U8: return "8-bit";
    case PcdStore::Kind::U16: return "16-bit";
    case PcdStore::Kind::U32: return "32-bit";
    case PcdStore::Kind::U64: return "64-bit";
    case PcdStore::Kind::Bool: return "boolean";
    case PcdStore::Kind::Pointer: return "pointer";
  }
  return "?";
}

UINTN Width(PcdStore::Kind kind) {
  switch (kind) {
    case PcdStore::Kind::U8: return 1;
    case PcdStore::Kind::U16: return 2;
    case PcdStore::Kind::U32: return 4;
    case PcdStore::Kind::U64: return 8;
    case PcdStore::Kind::Bool: return 1;
    case PcdStore::Kind::Pointer: return 0;
  }
  return 0;
}

// The protocol's functions take no `This`: they serve the attached DXE platform's store.
PcdStore& Store() {
  DxePlatform* platform = DxePlatform::Current();
  if (platform == nullptr) {
    std::fprintf(stderr, "simulator: the PCD protocol was called while no DXE platform is attached\n");
    std::abort();
  }
  return platform->Pcd();
}

UINT8 EFIAPI PcdGet8(UINTN token) {
  return static_cast<UINT8>(Store().GetNumber(token, PcdStore::Kind::U8, "Pcd.Get8"));
}
UINT16 EFIAPI PcdGet16(UINTN token) {
  return static_cast<UINT16>(Store().GetNumber(token, PcdStore::Kind::U16, "Pcd.Get16"));
}
UINT32 EFIAPI PcdGet32(UINTN token) {
  return static_cast<UINT32>(Store().GetNumber(token, PcdStore::Kind::U32, "Pcd.Get32"));
}
UINT64 EFIAPI PcdGet64(UINTN token) { return Store().GetNumber(token, PcdStore::Kind::U64, "Pcd.Get64"); }
BOOLEAN EFIAPI PcdGetBool(UINTN token) {
  return Store().GetNumber(token, PcdStore::Kind::Bool, "Pcd.GetBool") ? TRUE : FALSE;
}
VOID* EFIAPI PcdGetPtr(UINTN token) { return Store().GetPointer(token); }
UINTN EFIAPI PcdGetSize(UINTN token) { return Store().GetSize(token); }

}  // namespace

PcdStore::PcdStore(Violations& violations, CallCounter& calls) : violations_(violations), calls_(calls) {
  auto untyped = [](const char* name) { return UnimplementedService(name); };
  protocol_.SetSku = reinterpret_cast<PCD_PROTOCOL_SET_SKU>(untyped("Pcd.SetSku"));
  protocol_.Get8 = &PcdGet8;
  protocol_.Get16 = &PcdGet16;
  protocol_.Get32 = &PcdGet32;
  protocol_.Get64 = &PcdGet64;
  protocol_.GetPtr = &PcdGetPtr;
  protocol_.GetBool = &PcdGetBool;
  protocol_.GetSize = &PcdGetSize;
  protocol_.Get8Ex = untyped("Pcd.Get8Ex");
  protocol_.Get16Ex = untyped("Pcd.Get16Ex");
  protocol_.Get32Ex = untyped("Pcd.Get32Ex");
  protocol_.Get64Ex = untyped("Pcd.Get64Ex");
  protocol_.GetPtrEx = untyped("Pcd.GetPtrEx");
  protocol_.GetBoolEx = untyped("Pcd.GetBoolEx");
  protocol_.GetSizeEx = untyped("Pcd.GetSizeEx");
  protocol_.Set8 = untyped("Pcd.Set8");
  protocol_.Set16 = untyped("Pcd.Set16");
  protocol_.Set32 = untyped("Pcd.Set32");
  protocol_.Set64 = untyped("Pcd.Set64");
  protocol_.SetPtr = untyped("Pcd.SetPtr");
  protocol_.SetBool = untyped("Pcd.SetBool");
  protocol_.Set8Ex = untyped("Pcd.Set8Ex");
  protocol_.Set16Ex = untyped("Pcd.Set16Ex");
  protocol_.Set32Ex = untyped("Pcd.Set32Ex");
  protocol_.Set64Ex = untyped("Pcd.Set64Ex");
  protocol_.SetPtrEx = untyped("Pcd.SetPtrEx");
  protocol_.SetBoolEx = untyped("Pcd.SetBoolEx");
  protocol_.CallbackOnSet = untyped("Pcd.CallbackOnSet");
  protocol_.CancelCallback = untyped("Pcd.CancelCallback");
  protocol_.GetNextToken = untyped("Pcd.GetNextToken");
  protocol_.GetNextTokenSpace = untyped("Pcd.GetNextTokenSpace");
}

void PcdStore::Set8(UINTN token, uint8_t value) { tokens_[token] = Entry{Kind::U8, value, {}}; }
void PcdStore::Set16(UINTN token, uint16_t value) { tokens_[token] = Entry{Kind::U16, value, {}}; }
void PcdStore::Set32(UINTN token, uint32_t value) { tokens_[token] = Entry{Kind::U32, value, {}}; }
void PcdStore::Set64(UINTN token, uint64_t value) { tokens_[token] = Entry{Kind::U64, value, {}}; }
void PcdStore::SetBool(UINTN token, bool value) { tokens_[token] = Entry{Kind::Bool, value ? 1u : 0u, {}}; }
void PcdStore::SetPointer(UINTN token, std::vector<uint8_t> bytes) {
  tokens_[token] = Entry{Kind::Pointer, 0, std::move(bytes)};
}
void PcdStore::Erase(UINTN token) { tokens_.erase(token); }
bool PcdStore::Has(UINTN token) const { return tokens_.count(token) != 0; }

const PcdStore::Entry* PcdStore::Lookup(UINTN token, const char* service) {
  calls_.Bump(service);
  auto it = tokens_.find(token);
  if (it == tokens_.end()) {
    violations_.Report(std::string(service) + " of PCD token " + std::to_string(token) +
                       ", which the board does not define");
    return nullptr;
  }
  return &it->second;
}

uint64_t PcdStore::GetNumber(UINTN token, Kind kind, const char* service) {
  const Entry* e = Lookup(token, service);
  if (e == nullptr) return 0;
  if (e->kind != kind) {
    violations_.Report(std::string(service) + " of PCD token " + std::to_string(token) + ", which holds a " +
                       KindName(e->kind) + " value");
    return 0;
  }
  return e->value;
}

void* PcdStore::GetPointer(UINTN token) {
  const Entry* e = Lookup(token, "Pcd.GetPtr");
  if (e == nullptr) return nullptr;
  if (e->kind != Kind::Pointer) {
    violations_.Report("Pcd.GetPtr of PCD token " + std::to_string(token) + ", which holds a " + KindName(e->kind) +
                       " value");
    return nullptr;
  }
  if (e->bytes.empty()) return &empty_pointer_value_;
  return const_cast<uint8_t*>(e->bytes.data());
}

size_t PcdStore::PointerValueSize(const void* value) const {
  for (const auto& [token, e] : tokens_) {
    if (e.kind == Kind::Pointer && !e.bytes.empty() && e.bytes.data() == value) return e.bytes.size();
  }
  return 0;
}

UINTN PcdStore::GetSize(UINTN token) {
  const Entry* e = Lookup(token, "Pcd.GetSize");
  if (e == nullptr) return 0;
  return e->kind == Kind::Pointer ? e->bytes.size() : Width(e->kind);
}

}  // namespace sim
