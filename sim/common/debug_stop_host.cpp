// Host form of the debugger-stop seam: records the stop in the attached platform's log and clears the flag.
#include <cstdio>

#include "hw/debug_stop.h"
#include "sim/common/debug_stop_log.h"
#include "sim/common/platform_context.h"

namespace sim {
namespace {

std::vector<DebugStop>& Log() { return CurrentPlatform().debug_stops(); }

}  // namespace

const std::vector<DebugStop>& DebugStops() { return Log(); }

std::vector<DebugStop> TakeDebugStops() {
  std::vector<DebugStop> out;
  out.swap(Log());
  return out;
}

void ClearDebugStops() { Log().clear(); }

std::string FormatDebugStop(const DebugStop& stop) {
  std::string out;
  size_t next = 0;
  const std::string& m = stop.message;
  for (size_t i = 0; i < m.size(); ++i) {
    if (m[i] != '%' || i + 1 == m.size()) {
      out += m[i];
      continue;
    }
    const char conversion = m[++i];
    if (conversion == '%') {
      out += '%';
    } else if ((conversion == 'd' || conversion == 'x') && next < stop.arguments.size()) {
      char text[16];
      std::snprintf(text, sizeof text, conversion == 'd' ? "%u" : "%x", stop.arguments[next++]);
      out += text;
    } else {
      out += '%';
      out += conversion;
    }
  }
  return out;
}

}  // namespace sim

extern "C" {
void DebugStopPoll(volatile UINT8* Flag, const CHAR8* Message, const UINT32* Arguments, UINT32 ArgumentCount) {
  sim::DebugStop stop;
  stop.message = Message != nullptr ? Message : "";
  stop.arguments.assign(Arguments, Arguments + ArgumentCount);
  sim::Log().push_back(std::move(stop));
  *Flag = 0;
}
}
