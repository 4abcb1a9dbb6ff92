// Reads a power supply's FRU image from the BMC in 32-byte chunks, with the attempt, busy and checksum retries.
#include "smbios/records/power_supply_fru_read.h"

#include "smbios/entry/driver_state.h"
#include "smbios/records/power_supply_fru_checksum.h"
#include "smbios/records/power_supply_fru_layout.h"
#include "smbios/services/text_and_memory.h"
#include "uefi/status.h"

namespace {

VOID Wait(UINTN Microseconds) { DriverBootServices()->Stall(Microseconds); }

enum class AttemptResult { Accepted, Busy, Failed };

AttemptResult SendChunkRequest(IPMI_TRANSPORT_PROTOCOL *Ipmi, UINT8 Supply, UINT8 Chunk, UINT8 *Destination) {
  ZeroMemory(Destination, FruChunkSize);
  UINT8 request[2] = {Supply, Chunk};
  UINT32 responseSize = FruChunkSize;
  EFI_STATUS status = Ipmi->SendIpmiCommand(Ipmi, FruChunkNetFunction, 0, FruChunkCommand, request, sizeof(request),
                                            Destination, &responseSize);
  if (EFI_ERROR(status)) return AttemptResult::Failed;
  if (Ipmi->CompletionCode == IpmiCompletionOk) return AttemptResult::Accepted;
  if (Ipmi->CompletionCode == IpmiCompletionNodeBusy) return AttemptResult::Busy;
  return AttemptResult::Failed;
}

}  // namespace

EFI_STATUS ReadFruChunk(IPMI_TRANSPORT_PROTOCOL *Ipmi, UINT8 Supply, UINT8 Chunk, UINT8 *Image, BOOLEAN *Responded) {
  UINT8 *destination = Image + (Chunk - 1) * FruChunkSize;
  for (UINTN attempt = 0; attempt < FruChunkAttempts; ++attempt) {
    for (UINTN sends = 1;; ++sends) {
      AttemptResult result = SendChunkRequest(Ipmi, Supply, Chunk, destination);
      if (result == AttemptResult::Accepted) {
        *Responded = TRUE;
        return EFI_SUCCESS;
      }
      if (result == AttemptResult::Failed) break;
      Wait(FruBusyWaitMicroseconds);
      if (sends == FruChunkBusySends) {
        *Responded = TRUE;
        return EFI_TIMEOUT;
      }
    }
    Wait(FruFailedAttemptWaitMicroseconds);
  }
  return EFI_DEVICE_ERROR;
}

EFI_STATUS ReadPowerSupplyFru(IPMI_TRANSPORT_PROTOCOL *Ipmi, UINT8 Supply, UINT8 *Image, BOOLEAN *Responded) {
  for (UINTN read = 0; read < FruImageReads; ++read) {
    for (UINT8 chunk = 1; chunk <= FruChunkCount; ++chunk) {
      EFI_STATUS status = ReadFruChunk(Ipmi, Supply, chunk, Image, Responded);
      if (EFI_ERROR(status)) return status;
    }
    if (FruImageValid(Image)) return EFI_SUCCESS;
    Wait(FruBadImageWaitMicroseconds);
  }
  return EFI_VOLUME_CORRUPTED;
}
