// x86-64 driver entry points written instruction by instruction for the runner's tests and the hostile-guest
// harness: service calls through the system table or a located protocol with chosen arguments, loads and stores
// at chosen addresses, jumps; the image is a SyntheticPe whose .data holds the test's GUIDs and out slots.
#pragma once
#include <cstdint>
#include <vector>

#include "tests/sim/image/synthetic_pe.h"
#include "uefi/guid.h"

namespace simtest {

class DriverCode {
 public:
  DriverCode();

  // .data: bytes placed at the next free offset (8-aligned); returns their guest address at the link address.
  uint64_t Data(const std::vector<uint8_t>& bytes);
  uint64_t Guid(const EFI_GUID& guid);
  uint64_t Slot() { return Data(std::vector<uint8_t>(8, 0)); }

  // RAX = the system table's member at `offset` (RBX holds the system table from the entry on).
  void LoadSystemTableMember(uint32_t offset);
  // RAX = [RAX + offset].
  void LoadMember(uint32_t offset);
  // RAX = the 8 bytes at an absolute address (an image address is relocated with the image).
  void LoadFrom(uint64_t address, bool image_address = true);
  // RCX = RAX (the interface in RAX as This).
  void ThisFromRax();
  // Argument `index` (Microsoft convention) = the value (an image address is relocated with the image).
  void Arg(unsigned index, uint64_t value, bool image_address = false);
  // Calls RAX.
  void CallRax();
  // RAX = LocateProtocol(guid, null, &slot) result's interface: calls it and loads the slot.
  void LocateInto(uint64_t guid, uint64_t slot);
  // Stores the 32-bit value at [RAX].
  void StoreToRax(uint32_t value);
  // Raw instruction bytes.
  void Emit(const std::vector<uint8_t>& bytes);

  // The image: the code so far, then `xor eax, eax` and the epilogue.
  std::vector<uint8_t> Build();
  uint64_t ImageBase() const { return pe_.image_base; }

 private:
  void Imm64(uint64_t value, bool image_address);
  SyntheticPe pe_;
};

}  // namespace simtest
