// The binary captures taken whole: a sysfs `config` file (a function's configuration bytes), a sysfs `vpd` file
// (the data behind the VPD capability) and a FRU image as a BMC serves it. Bytes in, board model out; no I/O.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/pci/pci_function_spec.h"

namespace sim {

constexpr size_t kMaxVpdCaptureBytes = 0x8000;  // the VPD address register's 15 bits
constexpr size_t kMinFruImageBytes = 128;       // what the driver reads: four chunks of 32 bytes
constexpr size_t kMaxFruImageBytes = 65536;     // a FRU inventory area's 16-bit size

// A function at `at` whose configuration space is `config` (64, 256 or 4096 bytes: what sysfs gives without
// root, with root on a conventional function, with root on a PCI Express function): identity, header type and
// bridge buses decoded from the bytes. Throws CaptureError (offset = the size) for any other size.
PciFunctionSpec CapturedFunction(const PciLocation& at, std::span<const uint8_t> config, std::string origin);

// Throws CaptureError when `vpd` is larger than the VPD address space.
void CheckVpdCapture(std::span<const uint8_t> vpd);
// Throws CaptureError when a FRU image is shorter than the driver reads or longer than a FRU area can be.
void CheckFruImage(std::span<const uint8_t> image);

}  // namespace sim
