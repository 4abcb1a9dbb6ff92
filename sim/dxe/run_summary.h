// What one simulated run left behind: records by type, pool leaks, refusals, virtual time, service calls.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/dxe/pool_allocator.h"

namespace sim {

struct RunSummary {
  std::map<uint8_t, size_t> records_by_type;  // SMBIOS table at the end of the run
  size_t record_count = 0;
  std::vector<PoolLeak> leaks;                     // pool buffers still live, in allocation order
  std::vector<std::string> refused_adds;           // SMBIOS Adds the table refused, with the reason
  std::vector<std::string> refused_registrations;  // callback registrations the registry refused
  uint64_t virtual_time_us = 0;
  PoolStats pool;
  std::map<std::string, uint64_t> calls;  // service name -> calls ("AllocatePool", "Smbios.Add", "Stall", ...)
  std::vector<std::string> violations;    // every violation reported during the run, end-of-run checks included
};

}  // namespace sim
