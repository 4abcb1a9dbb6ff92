// The text form of an SMBIOS table: one block per record (header, formatted area in hex, strings, decoded
// fields of the types that have a decoder).
#pragma once
#include <ostream>
#include <vector>

#include "sim/dxe/smbios_table.h"

namespace boardsim {

void PrintRecord(std::ostream& out, const sim::SmbiosRecordView& record);
void PrintTable(std::ostream& out, const std::vector<sim::SmbiosRecordView>& records);

}  // namespace boardsim
