// Rebasing a PE32/PE32+ file to a new image base by its base relocations, for a module that executes in place
// from the volume at that address.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "firmware/pe/pe_image.h"

namespace fv {

// Applies every HIGHLOW (PE32) or DIR64 (PE32+) fixup for the difference between `new_base` and the image's
// base, in the file's bytes, and writes the new base into the optional header. The relocations stay in the file.
// False with `error` for an unreadable image, another fixup type, a fixup outside the file's data or a base the
// machine cannot address.
bool RebaseImage(std::vector<uint8_t>& file, uint64_t new_base, std::string& error);

// Whether the file is its own memory image (what executing in place needs): every section at the same offset in
// the file as in memory with all of its bytes in the file (no uninitialised tail), the image no larger than the
// file. Empty when it is; otherwise why not.
std::string WhyNotInPlace(const pe::Image& image);

}  // namespace fv
