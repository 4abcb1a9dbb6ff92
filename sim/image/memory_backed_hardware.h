// The platform's hardware as host memory at the devices' physical addresses, for a built image whose hardware
// accesses are plain memory: every region of the platform's MMIO bus is mapped there (MAP_FIXED_NOREPLACE) and
// kept in step with the device models. PCI configuration windows are rendered function by function (absent
// functions read all ones); the image's writes are handed to the models before each Stall (so a VPD address
// write starts its read) and at the end of the run, and the VPD registers are rendered again after each Stall.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/dxe/dxe_platform.h"

namespace sim {

class MemoryBackedHardware {
 public:
  // Maps and renders every region of the platform's bus. Returns null with `error` set (naming the region and
  // the address range) when a range cannot be mapped at its address.
  static std::unique_ptr<MemoryBackedHardware> Create(DxePlatform& platform, std::string& error);
  ~MemoryBackedHardware();
  MemoryBackedHardware(const MemoryBackedHardware&) = delete;
  MemoryBackedHardware& operator=(const MemoryBackedHardware&) = delete;

  // Hands the bytes the image changed since the last render to the device models (violations as the bus
  // would report them), then renders those devices again. Only present PCI functions unless `whole`: then also
  // absent functions' pages and every other region (the end of a run).
  void ApplyWrites(bool whole);
  // Renders the registers whose value depends on time (the VPD handshake).
  void RenderTimedRegisters();

  struct Block;  // one mapped region

 private:
  explicit MemoryBackedHardware(DxePlatform& platform);
  DxePlatform& platform_;
  std::vector<std::unique_ptr<Block>> blocks_;
};

}  // namespace sim
