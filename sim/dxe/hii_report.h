// Text reports of what the driver left in the HII database and in its setup configuration image.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/dxe/hii_database.h"
#include "sim/dxe/variable_store.h"

namespace sim {

// Every registered package list: GUID, handle, PackageLength, each package's type and length, and for string
// packages the language, the language name and the strings by ID.
std::string DescribeHiiPackageLists(const HiiDatabase& hii);

// Which setup variable landed at which offset of a configuration image (`size` bytes), from what the store
// holds, and whether the image holds exactly that (first differing offset otherwise).
std::string DescribeSetupImage(const VariableStore& store, const uint8_t* image, size_t size);

}  // namespace sim
