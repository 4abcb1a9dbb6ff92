// Resolves the MMCFG base of a record's PCIe segment from the silicon context, the platform's
// McfgTable (PCD 60), the module's fallback table and the default base (PCD 44), in that order.
#include "regaccess/mmcfg_base.h"

#include "regaccess/silicon_context.h"
#include "trace/listener/pei_services.h"
#include "uefi/protocols/pcd_ppi.h"

namespace {

UINT32 Load32(const UINT8 *Bytes) {
  return static_cast<UINT32>(Bytes[0]) | (static_cast<UINT32>(Bytes[1]) << 8) | (static_cast<UINT32>(Bytes[2]) << 16) |
         (static_cast<UINT32>(Bytes[3]) << 24);
}

UINT64 Load64(const UINT8 *Bytes) {
  return static_cast<UINT64>(Load32(Bytes)) | (static_cast<UINT64>(Load32(Bytes + 4)) << 32);
}

// Each PCD read locates the PPI anew; a missing PPI or function reads as 0 / null.
const PCD_PPI *LocatePcdPpi() {
  VOID *Ppi = NULL;
  LocatePpiByGuid(&gPcdPpiGuid, &Ppi);
  return static_cast<const PCD_PPI *>(Ppi);
}

UINT64 PcdGet64(UINTN Token) {
  const PCD_PPI *Pcd = LocatePcdPpi();
  return (Pcd != NULL && Pcd->Get64 != NULL) ? Pcd->Get64(Token) : 0;
}

const UINT8 *PcdGetPtr(UINTN Token) {
  const PCD_PPI *Pcd = LocatePcdPpi();
  return (Pcd != NULL && Pcd->GetPtr != NULL) ? static_cast<const UINT8 *>(Pcd->GetPtr(Token)) : NULL;
}

// The default base: the low 32 bits of PCD 44.
UINT64 DefaultMmcfgBase() { return PcdGet64(PcdTokenDefaultMmcfgBase) & 0xFFFFFFFFull; }

// Base of entry Segment of a table with Entries entries; a segment past the end is unknown (0).
UINT64 EntryBase(const UINT8 *Table, UINT32 Entries, UINT32 Segment) {
  if (Segment >= Entries) {
    return 0;
  }
  return Load64(Table + McfgTableLayout::FirstEntry + Segment * McfgTableLayout::EntrySize +
                McfgTableLayout::EntryBase);
}

UINT64 TableBase(UINT32 Segment) {
  const UINT8 *Platform = PcdGetPtr(PcdTokenMcfgTable);
  if (Platform != NULL) {
    UINT32 Length = Load32(Platform + McfgTableLayout::Length);
    if (Length != 0) {
      UINT32 Entries = Length > McfgTableLayout::FirstEntry
                           ? (Length - McfgTableLayout::FirstEntry) / McfgTableLayout::EntrySize
                           : 0;
      return EntryBase(Platform, Entries, Segment);
    }
  }
  UINT64 Base = EntryBase(DefaultMcfgTable.Bytes, DefaultMcfgEntries, Segment);
  return Base != 0 ? Base : DefaultMmcfgBase();
}

}  // namespace

UINT32 GetMmcfgBase(const RegisterAddress *Record) {
  UINT32 Segment = Record->Word1 & 0xFFFF;
  const UINT8 *Context = RegisterContext(Record);
  UINT64 Base = 0;
  if (Context != NULL) {
    if (Segment < ContextMmcfgSegments) {
      UINT32 Low = ContextRead32(Context, SiliconContextLayout::MmcfgLowWord + 4 * Segment);
      UINT32 High = ContextRead32(Context, SiliconContextLayout::MmcfgHighWord + 4 * Segment);
      Base = static_cast<UINT64>(Low) | (static_cast<UINT64>(High) << 32);
    }
  } else {
    Base = TableBase(Segment);
  }
  if (Base == 0) {
    Base = DefaultMmcfgBase();
  }
  return static_cast<UINT32>(Base);
}
