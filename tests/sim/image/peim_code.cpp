// The instruction encodings behind PeimCode.
#include "tests/sim/image/peim_code.h"

#include <cstring>

namespace simtest {

namespace {

// The slots lie below the saved EBX, ESI and EDI: [EBP - 0x10 - 4 * slot].
int8_t SlotOffset(unsigned slot) { return static_cast<int8_t>(-0x10 - 4 * static_cast<int>(slot % PeimCode::kSlots)); }

constexpr uint32_t kTableHeader = 24;
constexpr uint32_t kLocatePpi = kTableHeader + 4 * 2;

}  // namespace

PeimCode::PeimCode() {
  pe_.is64 = false;
  // push ebp; mov ebp, esp; push ebx; push esi; push edi; sub esp, 0x60; mov ebx, [ebp + 12] (PeiServices)
  Emit({0x55, 0x89, 0xE5, 0x53, 0x56, 0x57, 0x83, 0xEC, 0x60, 0x8B, 0x5D, 0x0C});
  for (unsigned slot = 0; slot < kSlots; ++slot) {
    Emit({0xC7, 0x45, static_cast<uint8_t>(SlotOffset(slot))});  // mov dword [ebp + slot], 0
    Append(pe_.text, Le(0, 4));
  }
}

uint32_t PeimCode::Rdata(const std::vector<uint8_t>& bytes) {
  while (pe_.rdata.size() % 4 != 0) pe_.rdata.push_back(0);
  const uint32_t at = static_cast<uint32_t>(pe_.At(pe_.RdataRva() + static_cast<uint32_t>(pe_.rdata.size())));
  Append(pe_.rdata, bytes);
  return at;
}

uint32_t PeimCode::Guid(const EFI_GUID& guid) {
  std::vector<uint8_t> bytes(sizeof guid);
  std::memcpy(bytes.data(), &guid, sizeof guid);
  return Rdata(bytes);
}

void PeimCode::Emit(const std::vector<uint8_t>& bytes) { Append(pe_.text, bytes); }

void PeimCode::Imm32(uint32_t value, bool image_address) {
  if (image_address) pe_.text_fixups.push_back(static_cast<uint32_t>(pe_.text.size()));
  Append(pe_.text, Le(value, 4));
}

void PeimCode::PushValue(uint32_t value, bool image_address) {
  Emit({0x68});  // push imm32
  Imm32(value, image_address);
}

void PeimCode::PushServices() { Emit({0x53}); }  // push ebx

void PeimCode::PushSlotAddress(unsigned slot) {
  Emit({0x8D, 0x4D, static_cast<uint8_t>(SlotOffset(slot)), 0x51});  // lea ecx, [ebp + slot]; push ecx
}

void PeimCode::PushEax() { Emit({0x50}); }

void PeimCode::LoadServicesMember(uint32_t offset) {
  Emit({0x8B, 0x03});  // mov eax, [ebx]
  LoadMember(offset);
}

void PeimCode::LoadMember(uint32_t offset) {
  Emit({0x8B, 0x80});  // mov eax, [eax + disp32]
  Append(pe_.text, Le(offset, 4));
}

void PeimCode::LoadSlot(unsigned slot) { Emit({0x8B, 0x45, static_cast<uint8_t>(SlotOffset(slot))}); }

void PeimCode::LoadFrom(uint32_t address, bool image_address) {
  Emit({0xA1});  // mov eax, [moffs32]
  Imm32(address, image_address);
}

void PeimCode::MoveToEax(uint32_t value, bool image_address) {
  Emit({0xB8});  // mov eax, imm32
  Imm32(value, image_address);
}

void PeimCode::StoreToEax(uint32_t value) {
  Emit({0xC7, 0x00});  // mov dword [eax], imm32
  Append(pe_.text, Le(value, 4));
}

void PeimCode::CallEax() { Emit({0xFF, 0xD0}); }
void PeimCode::JumpEax() { Emit({0xFF, 0xE0}); }

void PeimCode::Drop(unsigned count) {
  Emit({0x81, 0xC4});  // add esp, imm32
  Append(pe_.text, Le(4 * count, 4));
}

void PeimCode::LocatePpiInto(uint32_t guid, unsigned slot) {
  PushSlotAddress(slot);  // Ppi
  PushValue(0);           // Descriptor
  PushValue(0);           // Instance
  PushValue(guid, true);  // Guid
  PushServices();
  LoadServicesMember(kLocatePpi);
  CallEax();
  Drop(5);
  LoadSlot(slot);
}

std::vector<uint8_t> PeimCode::Build(bool in_place) const {
  SyntheticPe pe = pe_;
  // xor eax, eax; lea esp, [ebp - 12]; pop edi; pop esi; pop ebx; pop ebp; ret
  Append(pe.text, {0x31, 0xC0, 0x8D, 0x65, 0xF4, 0x5F, 0x5E, 0x5B, 0x5D, 0xC3});
  if (pe.rdata.empty()) pe.rdata.push_back(0);
  if (pe.data.empty()) pe.data.push_back(0);
  if (pe.text_fixups.empty()) {
    // The placer refuses an image without base relocations: one harmless fixup (an image address never used).
    pe.text_fixups.push_back(static_cast<uint32_t>(pe.text.size()));
    Append(pe.text, Le(pe.At(pe.RdataRva()), 4));
  }
  pe.in_place = in_place;
  return BuildPe(pe);
}

}  // namespace simtest
