// Capturing the Linux machine this runs on: every PCI function's configuration bytes and VPD from sysfs, the
// SMBIOS table the kernel exposes, the PCI Express configuration base from the ACPI MCFG table, and a note for
// everything that could not be read, with the reason.
#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sim/pci/pci_location.h"

namespace boardsim {

struct CapturedFunction {
  sim::PciLocation at;
  std::vector<uint8_t> config;  // 64, 256 or 4096 bytes: the longest of these the kernel returned
  std::vector<uint8_t> vpd;     // empty: none read
};

struct MachineCapture {
  std::string host_name;
  std::vector<CapturedFunction> functions;  // by location
  std::vector<uint8_t> dmi_entry_point;     // sysfs smbios_entry_point and DMI; both empty or both read
  std::vector<uint8_t> dmi_table;
  std::optional<uint64_t> ecam_base;  // segment 0's base in the MCFG table
  std::vector<std::string> notes;     // what could not be read, and why
};

// Reads the machine's files under `root` ("/" for the machine itself; tests pass a tree laid out like it).
// `as_root` says whether the reader is root, for the reasons in the notes. Never fails: what cannot be read
// becomes a note.
MachineCapture CaptureMachine(const std::filesystem::path& root, bool as_root);

// Segment 0's base address in an ACPI MCFG table, or nothing when the table is too short, not an MCFG table or
// has no entry for segment 0.
std::optional<uint64_t> McfgSegment0Base(const std::vector<uint8_t>& table);

}  // namespace boardsim
