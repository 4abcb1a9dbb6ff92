// The status-name table and its lookup by 32-bit status value.
#include "trace/format/status_names.h"

constexpr const CHAR8 *StatusNameTable[STATUS_NAME_COUNT] = {
    "Success",                 // 0
    "Warning Unknown Glyph",   // warning 1
    "Warning Delete Failure",  // warning 2
    "Warning Write Failure",   // warning 3
    "Warning Buffer Too Small",
    "Warning Stale Data",
    "Load Error",  // error 1
    "Invalid Parameter",
    "Unsupported",
    "Bad Buffer Size",
    "Buffer Too Small",
    "Not Ready",
    "Device Error",
    "Write Protected",
    "Out of Resources",
    "Volume Corrupt",
    "Volume Full",
    "No Media",
    "Media changed",
    "Not Found",
    "Access Denied",
    "No Response",
    "No mapping",
    "Time out",
    "Not started",
    "Already started",
    "Aborted",
    "ICMP Error",
    "TFTP Error",
    "Protocol Error",
    "Incompatible Version",
    "Security Violation",
    "CRC Error",
    "End of Media",
    "Reserved (29)",
    "Reserved (30)",
    "End of File",
    "Invalid Language",
    "Compromised Data",  // error 33
};

namespace {

constexpr UINT32 kErrorBit = 0x80000000u;
constexpr UINT32 kLastWarning = 5;
constexpr UINT32 kLastError = STATUS_NAME_COUNT - 1 - kLastWarning;

}  // namespace

const CHAR8 *StatusName(UINT32 Status) {
  if ((Status & kErrorBit) != 0) {
    UINT32 Error = Status & ~kErrorBit;
    if (Error == 0 || Error > kLastError) return nullptr;
    return StatusNameTable[Error + kLastWarning];
  }
  if (Status > kLastWarning) return nullptr;
  return StatusNameTable[Status];
}
