// The constant handler table: one row per operation, one column per address type.
#include "regaccess/pcie_register_handlers.h"
#include "regaccess/register_access.h"

constexpr RegisterHandler RegisterHandlerTable[RegisterHandlerCount] = {
    // PCIe single                  PCIe block                      CPU CSR
    {.GetAddress = PcieGetAddress}, {.GetAddress = PcieGetAddress}, {.GetAddress = CsrGetAddress},  // GetAddress
    {.Transfer = PcieRead},         {.Transfer = PcieBlockRead},    {.Transfer = CsrRead},          // Read
    {.Transfer = PcieWrite},        {.Transfer = PcieBlockWrite},   {.Transfer = CsrWrite},         // Write
    {.Modify = PcieModify},         {.Modify = PcieModify},         {.Modify = CsrModify},          // Modify
};
