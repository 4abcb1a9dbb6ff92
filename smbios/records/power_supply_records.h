// System Power Supply (type 39) records built from the FRU data the BMC returns.
#pragma once
#include "uefi/base_types.h"
#include "uefi/protocols/ipmi_transport.h"

EFI_STATUS PublishPowerSupplies(IPMI_TRANSPORT_PROTOCOL *Ipmi);
