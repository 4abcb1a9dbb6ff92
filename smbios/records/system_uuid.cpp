// Fills an all-zero System Information (type 1) UUID in place.
#include "smbios/records/system_uuid.h"

// Placeholder: the UUID is not filled yet, so the type 1 record is left as it is.
VOID FillSystemUuid(VOID) {}
