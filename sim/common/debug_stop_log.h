// The simulator's stand-in for an attached debugger at a fatal stop: every stop is logged with its
// message and arguments, then the stop flag is cleared so the module code goes on.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct DebugStop {
  std::string message;              // the message bytes as the module passed them
  std::vector<uint32_t> arguments;  // the arguments, in order
  bool operator==(const DebugStop&) const = default;
};

// Stops seen on the attached platform (or, with none attached, the unattached context) since the last
// Take/Clear, in order.
const std::vector<DebugStop>& DebugStops();
std::vector<DebugStop> TakeDebugStops();
void ClearDebugStops();

// The message with each %d replaced by the next argument in decimal (%x in hex, %% as %).
std::string FormatDebugStop(const DebugStop& stop);

}  // namespace sim
