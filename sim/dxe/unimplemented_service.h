// Stand-ins for the function-table slots the simulated platform does not implement: each reports a violation
// naming its service when module code calls it, and returns EFI_UNSUPPORTED.
#pragma once
#include "sim/common/violations.h"

namespace sim {

// A distinct EFIAPI function for `service` (the same name gives the same function). Names must outlive the run
// (string literals).
void* UnimplementedService(const char* service);

// Where the stand-ins report (the current platform sets it; nullptr: report on stderr and abort).
void SetUnimplementedServiceSink(Violations* violations);

}  // namespace sim
