// Names of PCI class codes, as listings print them ("PCI bridge", "Ethernet controller").
#pragma once
#include <cstdint>
#include <string>

namespace boardsim {

// The name of the class code's sub-class, else of its base class, else "Class XXXX" (base and sub-class in hex).
std::string PciClassName(uint32_t class_code);

}  // namespace boardsim
