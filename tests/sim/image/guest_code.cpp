// The instruction encodings behind DriverCode.
#include "tests/sim/image/guest_code.h"

#include <cstddef>
#include <cstring>

#include "uefi/system_table.h"

namespace simtest {

namespace {

constexpr uint32_t kDataSize = 0x400;

}  // namespace

DriverCode::DriverCode() {
  pe_.is64 = true;
  pe_.data.reserve(kDataSize);
  // push rbx; sub rsp, 0x40; mov rbx, rdx: 16-aligned calls with room for six stack arguments.
  Emit({0x53, 0x48, 0x83, 0xEC, 0x40, 0x48, 0x89, 0xD3});
}

uint64_t DriverCode::Data(const std::vector<uint8_t>& bytes) {
  while (pe_.data.size() % 8 != 0) pe_.data.push_back(0);
  const uint64_t at = pe_.At(pe_.DataRva() + static_cast<uint32_t>(pe_.data.size()));
  Append(pe_.data, bytes);
  return at;
}

uint64_t DriverCode::Guid(const EFI_GUID& guid) {
  std::vector<uint8_t> bytes(sizeof guid);
  std::memcpy(bytes.data(), &guid, sizeof guid);
  return Data(bytes);
}

void DriverCode::Emit(const std::vector<uint8_t>& bytes) { Append(pe_.text, bytes); }

void DriverCode::Imm64(uint64_t value, bool image_address) {
  if (image_address) pe_.text_fixups.push_back(static_cast<uint32_t>(pe_.text.size()));
  Append(pe_.text, Le(value, 8));
}

void DriverCode::LoadSystemTableMember(uint32_t offset) {
  Emit({0x48, 0x8B, 0x83});  // mov rax, [rbx + disp32]
  Append(pe_.text, Le(offset, 4));
}

void DriverCode::LoadMember(uint32_t offset) {
  Emit({0x48, 0x8B, 0x80});  // mov rax, [rax + disp32]
  Append(pe_.text, Le(offset, 4));
}

void DriverCode::LoadFrom(uint64_t address, bool image_address) {
  Emit({0x48, 0xA1});  // movabs rax, [moffs64]
  Imm64(address, image_address);
}

void DriverCode::ThisFromRax() { Emit({0x48, 0x89, 0xC1}); }

void DriverCode::Arg(unsigned index, uint64_t value, bool image_address) {
  static const std::vector<uint8_t> kMov[4] = {{0x48, 0xB9}, {0x48, 0xBA}, {0x49, 0xB8}, {0x49, 0xB9}};
  if (index < 4) {
    Emit(kMov[index]);
    Imm64(value, image_address);
    return;
  }
  Emit({0x49, 0xBA});  // mov r10, imm64; mov [rsp + 0x20 + 8 * (index - 4)], r10
  Imm64(value, image_address);
  Emit({0x4C, 0x89, 0x54, 0x24, static_cast<uint8_t>(0x20 + 8 * (index - 4))});
}

void DriverCode::CallRax() { Emit({0xFF, 0xD0}); }

void DriverCode::LocateInto(uint64_t guid, uint64_t slot) {
  LoadSystemTableMember(offsetof(EFI_SYSTEM_TABLE, BootServices));
  LoadMember(offsetof(EFI_BOOT_SERVICES, LocateProtocol));
  Arg(0, guid, true);
  Arg(1, 0);
  Arg(2, slot, true);
  CallRax();
  LoadFrom(slot);
}

void DriverCode::StoreToRax(uint32_t value) {
  Emit({0xC7, 0x00});  // mov dword [rax], imm32
  Append(pe_.text, Le(value, 4));
}

std::vector<uint8_t> DriverCode::Build() {
  SyntheticPe pe = pe_;
  // xor eax, eax; add rsp, 0x40; pop rbx; ret
  Append(pe.text, {0x31, 0xC0, 0x48, 0x83, 0xC4, 0x40, 0x5B, 0xC3});
  if (pe.data.empty()) pe.data.push_back(0);
  if (pe.text_fixups.empty()) {
    // The placer refuses an image without base relocations: one harmless fixup (an image address never used).
    pe.text_fixups.push_back(static_cast<uint32_t>(pe.text.size()));
    Append(pe.text, Le(pe.At(pe.DataRva()), 8));
  }
  return BuildPe(pe);
}

}  // namespace simtest
