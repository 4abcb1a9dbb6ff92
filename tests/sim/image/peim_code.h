// IA-32 PEIM entry points written instruction by instruction for the hostile-guest harness and the runner's tests:
// PEI service and PPI calls with chosen arguments (cdecl, the services pointer kept in EBX from the entry on),
// stack slots for out pointers, loads and stores at chosen addresses, jumps. The image is a SyntheticPe whose
// .rdata holds the GUIDs; `in_place` lays it out as its own memory image, so a volume can hold it in flash.
#pragma once
#include <cstdint>
#include <vector>

#include "tests/sim/image/synthetic_pe.h"
#include "uefi/guid.h"

namespace simtest {

class PeimCode {
 public:
  static constexpr unsigned kSlots = 8;  // zeroed 4-byte stack slots for out pointers

  PeimCode();

  // .rdata: bytes placed at the next free offset (4-aligned); returns their address at the link address.
  uint32_t Rdata(const std::vector<uint8_t>& bytes);
  uint32_t Guid(const EFI_GUID& guid);
  // The link address of an offset in .text.
  uint32_t Code(uint32_t offset) const { return static_cast<uint32_t>(pe_.At(pe_.TextRva() + offset)); }

  // Pushes of one argument (the last argument first, as cdecl wants).
  void PushValue(uint32_t value, bool image_address = false);
  void PushServices();  // the PEI services pointer
  void PushSlotAddress(unsigned slot);
  void PushEax();
  // EAX = the services table's member at `offset` (the table reached through the services pointer).
  void LoadServicesMember(uint32_t offset);
  // EAX = [EAX + offset].
  void LoadMember(uint32_t offset);
  // EAX = the stack slot's value.
  void LoadSlot(unsigned slot);
  // EAX = the 4 bytes at an absolute address (an image address is relocated with the image).
  void LoadFrom(uint32_t address, bool image_address = false);
  // EAX = a value.
  void MoveToEax(uint32_t value, bool image_address = false);
  // Stores the 32-bit value at [EAX].
  void StoreToEax(uint32_t value);
  void CallEax();
  void JumpEax();
  // Drops `count` pushed arguments after a call.
  void Drop(unsigned count);
  // LocatePpi(services, guid, 0, null, &slot), then EAX = the slot (the PPI, or 0).
  void LocatePpiInto(uint32_t guid, unsigned slot);
  void Emit(const std::vector<uint8_t>& bytes);

  // The image: the code so far, then `xor eax, eax` and the epilogue.
  std::vector<uint8_t> Build(bool in_place = false) const;
  uint32_t CodeSize() const { return static_cast<uint32_t>(pe_.text.size()); }

 private:
  void Imm32(uint32_t value, bool image_address);
  SyntheticPe pe_;
};

}  // namespace simtest
