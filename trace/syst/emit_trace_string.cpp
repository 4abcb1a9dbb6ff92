// Binds the SyS-T string message to the trace-hub transport.
#include "trace/syst/emit_trace_string.h"

#include "trace/hub/trace_hub_transport.h"
#include "trace/syst/syst_string_message.h"

UINT32 EmitTraceString(UINT32 Severity, const CHAR8 *Text, UINT16 Length) {
  return SystEmitString(TraceHubTransportInit, Severity, Text, Length);
}
