// Reads a power supply's FRU image from the BMC in 32-byte chunks, with the attempt, busy and checksum retries.
#pragma once
#include "uefi/base_types.h"
#include "uefi/protocols/ipmi_transport.h"

constexpr UINT8 FruChunkNetFunction = 0x30;  // OEM
constexpr UINT8 FruChunkCommand = 0xA1;
constexpr UINT8 IpmiCompletionOk = 0x00;
constexpr UINT8 IpmiCompletionNodeBusy = 0xC0;

constexpr UINTN FruChunkAttempts = 5;
constexpr UINTN FruChunkBusySends = 120;  // sends within one attempt while the BMC answers busy
constexpr UINTN FruImageReads = 5;        // whole-image reads while the checksums fail
constexpr UINTN FruBusyWaitMicroseconds = 500000;
constexpr UINTN FruFailedAttemptWaitMicroseconds = 10000;
constexpr UINTN FruBadImageWaitMicroseconds = 5;

// Reads chunk 1..4 of supply 1 or 2 into its 32 bytes of Image. Sets *Responded when the BMC answered
// (chunk accepted, or busy until EFI_TIMEOUT); never clears it. Returns EFI_SUCCESS, EFI_TIMEOUT (busy on
// every send) or EFI_DEVICE_ERROR (every attempt failed).
EFI_STATUS ReadFruChunk(IPMI_TRANSPORT_PROTOCOL *Ipmi, UINT8 Supply, UINT8 Chunk, UINT8 *Image, BOOLEAN *Responded);

// Reads the 128-byte image until both checksums hold, at most five times. Returns EFI_SUCCESS with a good
// image, the failing chunk's status, or EFI_VOLUME_CORRUPTED when every image read failed its checksums.
EFI_STATUS ReadPowerSupplyFru(IPMI_TRANSPORT_PROTOCOL *Ipmi, UINT8 Supply, UINT8 *Image, BOOLEAN *Responded);
