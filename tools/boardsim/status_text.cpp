// UEFI status values as their names, for messages.
#include "tools/boardsim/status_text.h"

#include <cstdio>

#include "uefi/status.h"

namespace boardsim {

std::string StatusText(EFI_STATUS status) {
  static const char* const kErrors[] = {nullptr,
                                        "EFI_LOAD_ERROR",
                                        "EFI_INVALID_PARAMETER",
                                        "EFI_UNSUPPORTED",
                                        "EFI_BAD_BUFFER_SIZE",
                                        "EFI_BUFFER_TOO_SMALL",
                                        "EFI_NOT_READY",
                                        "EFI_DEVICE_ERROR",
                                        "EFI_WRITE_PROTECTED",
                                        "EFI_OUT_OF_RESOURCES",
                                        "EFI_VOLUME_CORRUPTED",
                                        "EFI_VOLUME_FULL",
                                        "EFI_NO_MEDIA",
                                        "EFI_MEDIA_CHANGED",
                                        "EFI_NOT_FOUND",
                                        "EFI_ACCESS_DENIED",
                                        "EFI_NO_RESPONSE",
                                        "EFI_NO_MAPPING",
                                        "EFI_TIMEOUT",
                                        "EFI_NOT_STARTED",
                                        "EFI_ALREADY_STARTED",
                                        "EFI_ABORTED"};
  if (status == EFI_SUCCESS) return "EFI_SUCCESS";
  UINTN code = status & ~EFI_ERROR_BIT;
  if (EFI_ERROR(status) && code < sizeof kErrors / sizeof kErrors[0] && kErrors[code] != nullptr) return kErrors[code];
  char text[32];
  std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(status));
  return text;
}

}  // namespace boardsim
