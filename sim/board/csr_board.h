// Board data of the `csr` section: the CPU socket topology and CSR cache fields that the platform's
// silicon initialisation leaves in the SiliconContext for the PEI module's CSR translation.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

namespace sim {

struct BoardCsr {
  // Bus of each stack (R[0..5]) of sockets 0 and 1, the rows the topology block holds. Socket 1's
  // stack 4 shares its byte with the CPU type, so the two must be equal.
  std::vector<std::array<uint8_t, 6>> stack_bus;
  uint8_t cpu_type = 0;
  uint32_t cpu_socket_map = 0;       // bit n: CPU socket n present
  uint32_t fpga_socket_map = 0;      // bit n: FPGA socket n present
  uint8_t instances_per_device = 1;  // D of box types 7, 8 and 11
  std::vector<uint32_t> mmcfg_base;  // MMCFG base per segment (the segment of a socket's CSRs is the socket)
  bool cache_enable = false;         // the translation cache's enable byte
};

}  // namespace sim
