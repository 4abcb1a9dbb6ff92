// UEFI status values as their names ("EFI_NOT_FOUND"), for messages.
#pragma once
#include <string>

#include "uefi/base_types.h"

namespace boardsim {

std::string StatusText(EFI_STATUS status);

}  // namespace boardsim
