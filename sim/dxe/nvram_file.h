// Keeps the non-volatile variables the firmware wrote in a text file between runs (`--nvram FILE`): the file
// holds what SetVariable stored plus what the file itself carried in, never the variables a board file gives.
// One variable per line: GUID, name, attributes, data in hex; '#' starts a comment line.
#pragma once
#include <stdexcept>
#include <string>

#include "sim/dxe/variable_store.h"

namespace sim {

class NvramFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Puts every variable of the file into the store (replacing same-named ones). A file that does not exist is
// an empty NVRAM (first run): returns false and changes nothing. A malformed file throws NvramFileError
// "FILE:LINE: field F: problem (fix)".
bool LoadNvramFile(const std::string& path, VariableStore& store);
// Writes the store's firmware-written non-volatile variables to the file (replacing it). Throws NvramFileError when it cannot.
void SaveNvramFile(const std::string& path, const VariableStore& store);

// The text forms used by the two functions; `file` names the source in messages.
std::string NvramText(const VariableStore& store);
void ParseNvramText(const std::string& text, const std::string& file, VariableStore& store);

}  // namespace sim
