// Reading a function's PCI Vital Product Data through its VPD capability in the window at EcamBase.
#pragma once
#include "uefi/base_types.h"

constexpr UINTN VpdSpaceSize = 0x8000;  // 15-bit VPD addresses
constexpr UINTN VpdPollTests = 1000;    // completion-flag tests per dword, 10 microseconds apart

// Reads the whole image (resources up to the end tag or the fourth large resource, within the VPD space).
// On success *Image is a pool buffer the caller frees. EFI_NOT_FOUND without a VPD capability or with an empty
// image; EFI_OUT_OF_RESOURCES when the buffer cannot be allocated; ReadVpdBytes's failure otherwise.
EFI_STATUS ReadVpdImage(UINT8 Bus, UINT8 Device, UINT8 Function, UINT8 **Image, UINTN *Length);

// Reads Count bytes from VPD offset Start. CapabilityAddress is the function's offset in the window plus the
// offset of its VPD capability. EFI_TIMEOUT when a dword does not complete; EFI_INVALID_PARAMETER for a range
// outside the VPD space.
EFI_STATUS ReadVpdBytes(UINTN CapabilityAddress, UINTN Start, UINTN Count, UINT8 *Destination);

// Length of the longest run of whole resources from the image's start that fits in Limit bytes and does not
// pass Length, ending after an end tag if one is reached; so an image too long for its destination is cut at
// a resource boundary and still parses.
UINTN VpdWholeResourcesWithin(const UINT8 *Image, UINTN Length, UINTN Limit);
