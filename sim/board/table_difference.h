// The first difference between two SMBIOS tables, record by record: used where two runs of the driver (the
// host-linked module and its image) must leave the same table.
#pragma once
#include <string>
#include <vector>

#include "sim/dxe/smbios_table.h"

namespace sim {

// Empty when both tables hold the same records (bytes and handles) in the same order; otherwise the first
// differing record, byte and table offset, or the difference in record counts.
std::string FirstTableDifference(const std::vector<SmbiosRecordView>& expected,
                                 const std::vector<SmbiosRecordView>& actual);

}  // namespace sim
