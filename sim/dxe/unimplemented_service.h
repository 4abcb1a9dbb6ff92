// Stand-ins for the function-table slots the simulated platform does not implement: each reports a violation
// naming its service to the attached platform when module code calls it, and returns EFI_UNSUPPORTED.
#pragma once

namespace sim {

// A distinct EFIAPI function for `service` (the same name gives the same function). Names must outlive the run
// (string literals).
void* UnimplementedService(const char* service);
// The service a stand-in was bound to; nullptr for any other address. A stand-in reads no arguments.
const char* UnimplementedServiceName(const void* function);

}  // namespace sim
