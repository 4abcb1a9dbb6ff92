// A board as data: what the simulated platform holds before the driver runs. Filled by the board-file
// loader (the built-in default board is a board file too) and turned into a platform by ApplyBoard.
// A new board-file section adds its member here.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/board/csr_board.h"
#include "sim/board/power_board.h"
#include "sim/pci/pci_function_spec.h"

namespace sim {

// PCD values (tokens 44, 30, 180).
struct BoardPcd {
  uint64_t ecam_base = 0;                  // token 44
  std::vector<uint8_t> socket_bus_layout;  // token 30, as raw bytes (any length; 72 is the record size)
  uint32_t uuid_timestamp = 0;             // token 180
};

// One SMBIOS record present in the table before the driver runs.
struct BoardSmbiosRecord {
  std::vector<uint8_t> formatted;    // formatted area, header included (Length = formatted.size())
  std::vector<std::string> strings;  // string set, in order
  std::optional<uint16_t> handle;    // a fixed handle, or the table assigns one
  std::string origin;                // "FILE:LINE" of the record in its board file, for messages
};

// Pci.Read calls on the PCI I/O instance of one function that fail (EFI_DEVICE_ERROR, buffer left as it was):
// every read, or only those that cover one of the offsets.
struct BoardPciIoReadFailure {
  PciLocation at;
  std::vector<uint16_t> offsets;  // empty: every read fails
};

struct BoardFaults {
  std::optional<uint64_t> fail_allocation;               // this allocation (1-based, from driver entry) fails
  std::optional<uint64_t> fail_allocations_from;         // every allocation from this one on fails
  std::vector<std::string> absent_protocols;             // short protocol names (see sim/dxe/protocol_names.h)
  std::vector<BoardPciIoReadFailure> fail_pci_io_reads;  // put on the instances by the `pci` section's apply
};

struct Board {
  std::string name;    // the board file's `name`, or its file name
  std::string source;  // the file it was loaded from
  BoardPcd pcd;
  std::vector<BoardSmbiosRecord> smbios;
  std::vector<PciFunctionSpec> pci;  // section `pci`: the PCI functions
  BoardFaults faults;
  std::optional<BoardBmc> bmc;
  BoardVariables variables;
  std::optional<BoardSetup> setup;
  std::optional<BoardSmm> smm;
  std::optional<BoardCsr> csr;  // section `csr`: CPU socket topology of the PEI SiliconContext
};

}  // namespace sim
