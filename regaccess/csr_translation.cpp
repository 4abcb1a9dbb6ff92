// TranslateCsrAddress with its pseudo-register step, width-code copy and page cache.
#include "regaccess/csr_translation.h"

#include "regaccess/csr_location.h"
#include "regaccess/mmcfg_base.h"
#include "regaccess/pcie_register_handlers.h"
#include "regaccess/silicon_context.h"

namespace {

constexpr UINT32 WidthCodeField = 0xF00;  // Attribute bits 8-11

UINT8 Socket(const RegisterAddress *Record) { return static_cast<UINT8>(Record->Word1 >> 8); }
UINT8 Instance(const RegisterAddress *Record) { return static_cast<UINT8>(Record->Word1); }
UINT8 BoxType(const RegisterAddress *Record) { return static_cast<UINT8>(Record->Address >> CsrBoxTypeShift); }
UINT8 Block(const RegisterAddress *Record) { return static_cast<UINT8>(Record->Address >> CsrBlockShift); }

}  // namespace

CsrLocation LocateCsr(const RegisterAddress *Record) {
  const UINT8 *Context = RegisterContext(Record);
  const UINT8 *Topology = Context + SiliconContextLayout::SocketTopology;
  CsrLocation Location;
  Location.Bus = GetCsrBus(Context, Socket(Record), BoxType(Record), Instance(Record), Block(Record), Topology);
  Location.Device = GetCsrDevice(Context, BoxType(Record), Instance(Record), Block(Record), Topology);
  Location.Function = GetCsrFunction(Context, BoxType(Record), Instance(Record), Block(Record), Topology);
  return Location;
}

VOID TranslatePseudoRegister(RegisterAddress *Record) {
  if ((Record->Address & CsrPseudoRegisterFlag) != 0) {
    Record->Address &= 0xFFFF0000;
  }
}

UINT32 TranslateCsrAddress(RegisterAddress *Record, UINT32 *Result) {
  UINT8 *Context = RegisterContext(Record);
  if (Context == nullptr) {
    *Result = 0;
    return RegisterInvalidParameter;
  }
  TranslatePseudoRegister(Record);
  const UINT32 WidthCode = (Record->Address >> CsrWidthShift) & 3;
  Record->Attribute = (Record->Attribute & ~WidthCodeField) | (WidthCode << 8);

  const UINT32 PageKey = Record->Address & CsrPageMask;
  if (ContextRead8(Context, SiliconContextLayout::CacheEnable) != 0 &&
      ContextRead32(Context, SiliconContextLayout::CacheKey1) == PageKey &&
      ContextRead32(Context, SiliconContextLayout::CacheKey2) == Record->Word1) {
    *Result = (Record->Address & CsrOffsetMask) | ContextRead32(Context, SiliconContextLayout::CachedPageBase);
    return RegisterSuccess;
  }

  const CsrLocation Location = LocateCsr(Record);
  RegisterAddress Pcie;
  Pcie.Address = ((Location.Bus & 0xFF) << 20) | ((Location.Device & 0x1F) << 15) | ((Location.Function & 7) << 12) |
                 (Record->Address & CsrOffsetMask);
  Pcie.Word1 = Socket(Record);  // Segment = socket, Count 0
  Pcie.Attribute = PcieConfig;
  Pcie.Context = Record->Context;
  const UINT32 Address = GetMmcfgBase(&Pcie) + (Pcie.Address & 0x0FFFFFFF);

  ContextWrite32(Context, SiliconContextLayout::CacheKey1, PageKey);
  ContextWrite32(Context, SiliconContextLayout::CacheKey2, Record->Word1);
  ContextWrite32(Context, SiliconContextLayout::CachedPageBase, Address & CsrPageMask);
  *Result = Address;
  return RegisterSuccess;
}
