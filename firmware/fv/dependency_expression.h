// Dependency expressions of DXE_DEPEX and PEI_DEPEX sections: the form the volume build writes (every GUID
// required), the check a reader makes before trusting one, and its evaluation against what a platform has.
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "uefi/guid.h"

namespace fv {

enum class DepexPhase { Pei, Dxe };

// PUSH g1, PUSH g2, AND, ..., END: true when every GUID is installed (TRUE, END for none).
std::vector<uint8_t> DepexRequiringAll(std::span<const EFI_GUID> guids);

// Empty when the expression is well formed for its phase; otherwise what is wrong, with the byte offset in
// `bad_offset`: an unknown opcode, a GUID cut short, an operator without its operands, BEFORE/AFTER/SOR where
// they may not stand (PEI has none; in DXE, BEFORE and AFTER are the whole expression and SOR only its first
// opcode), no END, bytes after END, or an END that leaves other than one value on the stack.
std::string CheckDepex(std::span<const uint8_t> bytes, DepexPhase phase, size_t& bad_offset);

struct DepexOutcome {
  bool satisfied = false;
  bool schedule_on_request = false;  // DXE SOR: not dispatched until a request
  std::vector<EFI_GUID> missing;     // GUIDs the expression pushed that the platform does not have
};

// Evaluates a well-formed expression (CheckDepex empty) with `installed` answering PUSH. BEFORE and AFTER order
// the driver against another; with no other driver to order against they are satisfied.
DepexOutcome EvaluateDepex(std::span<const uint8_t> bytes, const std::function<bool(const EFI_GUID&)>& installed);

// The expression as text, e.g. "PUSH 11B34006-D85B-4D0A-A290-D5A571310EF7 PUSH ... AND END".
std::string DescribeDepex(std::span<const uint8_t> bytes);

// GUID in registry form.
std::string GuidString(const EFI_GUID& guid);

}  // namespace fv
