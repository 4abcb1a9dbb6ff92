// Lookups over the board inventory's ID lists.
#include "smbios/board/board_inventory.h"

BOOLEAN BoardIdListHas(const BoardIdList &List, UINT16 Id) {
  for (UINTN i = 0; i < List.Count; ++i) {
    if (List.Ids[i] == Id) return TRUE;
  }
  return FALSE;
}
