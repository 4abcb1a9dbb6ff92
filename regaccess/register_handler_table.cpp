// The constant handler table: one row per operation, one column per address type.
#include "regaccess/pcie_register_handlers.h"
#include "regaccess/register_access.h"

constexpr RegisterHandler RegisterHandlerTable[RegisterHandlerCount] = {
    // RegisterGetAddress
    {.GetAddress = PcieGetAddress},
    {.GetAddress = PcieGetAddress},
    {.GetAddress = CsrGetAddress},
    // RegisterRead
    {.Transfer = PcieRead},
    {.Transfer = PcieBlockRead},
    {.Transfer = CsrRead},
    // RegisterWrite
    {.Transfer = PcieWrite},
    {.Transfer = PcieBlockWrite},
    {.Transfer = CsrWrite},
    // RegisterModify
    {.Modify = PcieModify},
    {.Modify = PcieModify},
    {.Modify = CsrModify},
};
