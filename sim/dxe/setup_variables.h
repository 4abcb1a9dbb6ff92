// The platform's ten setup variables as the variable store holds them: name, vendor GUID and the size the
// platform gives each one, in the order their data follows one another in the driver's configuration image.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "uefi/guid.h"

namespace sim {

struct SetupVariable {
  const char16_t* name;
  EFI_GUID vendor;
  size_t size;
};

constexpr size_t kSetupImageSize = 7723;
constexpr uint32_t kSetupVariableAttributes = 0x7;  // non-volatile, boot-service and runtime access

const std::vector<SetupVariable>& SetupVariables();
// The variable of that name (ASCII), or nullptr.
const SetupVariable* FindSetupVariable(const std::string& name);

// Where each variable's data landed in a configuration image loaded from `sizes` (the size each variable
// had, 0 for one the store lacked), following the loader's rule: a variable lands at the running offset with
// its own size when it fits its expected size, and a missing or larger one keeps its expected size, zero.
struct SetupPlacement {
  const SetupVariable* variable;
  size_t offset;
  size_t length;       // bytes of the image it covers
  size_t stored_size;  // size in the store (0 when absent)
  bool present;
  bool zeroed;  // absent or larger than expected: its part is zero
};
std::vector<SetupPlacement> PlaceSetupVariables(const std::vector<std::pair<bool, size_t>>& present_and_size);

}  // namespace sim
