// GetCsrBus, GetCsrDevice and GetCsrFunction: the box-type rules of the one processor family served.
#include "regaccess/csr_location.h"

#include "regaccess/csr_fatal_stop.h"
#include "regaccess/csr_tables.h"
#include "regaccess/silicon_context.h"

namespace {

constexpr UINT32 StackCount = 6;      // bus numbers per socket row
constexpr UINT32 SocketMapBits = 32;  // sockets a bitmap can name

UINT8 StackBus(const UINT8 *Topology, UINT8 Socket, UINT32 Stack) {
  return ContextRead8(Topology, SocketTopologyLayout::StackBus + StackCount * Socket + Stack);
}
UINT8 CpuType(const UINT8 *Topology) { return ContextRead8(Topology, SocketTopologyLayout::CpuType); }
UINT8 InstancesPerDevice(const UINT8 *Topology) {
  return ContextRead8(Topology, SocketTopologyLayout::InstancesPerDevice);
}

// The processor's index among the CPU types' parts; this platform has one, so always 0.
UINT32 GetCpuIndex(const UINT8 *Context) {
  (VOID) Context;
  return 0;
}

// FatalStop, then the stage's value after a debugger lets the code go on.
template <typename... Values>
UINT32 Stopped(const UINT8 *Context, const CHAR8 *Message, Values... Arguments) {
  FatalStop(Context, Message, Arguments...);
  return 0;
}

// A socket beyond the bitmaps' 32 bits is absent (the shift would otherwise be undefined).
bool SocketAccepted(const UINT8 *Topology, UINT8 Socket, UINT8 BoxType) {
  if (Socket >= SocketMapBits) {
    return false;
  }
  const UINT32 Bit = 1u << Socket;
  const UINT32 Map = ContextRead32(
      Topology, BoxType == CsrBoxFpga ? SocketTopologyLayout::FpgaSocketMap : SocketTopologyLayout::CpuSocketMap);
  return (Map & Bit) != 0;
}

// Stack of an IIO PCIE instance 1-20: four instances per stack, from stack 1 on.
UINT32 IioStack(UINT8 Instance) { return static_cast<UINT8>(Instance - 1) / 4 + 1; }

UINT32 IioPcieBus(const UINT8 *Context, const UINT8 *Topology, UINT8 Socket, UINT8 Instance) {
  if (Instance == 0) {
    return StackBus(Topology, Socket, 0);
  }
  const UINT32 Stack = IioStack(Instance);
  if (Stack < StackCount) {
    return StackBus(Topology, Socket, Stack);
  }
  return Stopped(Context, "\nInvalid IIO_PCIE BoxInstance %d. \n", Instance);
}

// D = 0 would divide by zero; such a topology is refused like any request outside the rules.
bool InstancesPerDeviceValid(const UINT8 *Context, UINT8 BoxType, UINT8 D) {
  if (D != 0) {
    return true;
  }
  FatalStop(Context, "\nInvalid Instances Per Device 0 for Box Type %d. \n", BoxType);
  return false;
}

UINT32 DeviceByRule(const UINT8 *Context, UINT8 BoxType, UINT8 Instance, const UINT8 *Topology) {
  const bool Cpu0 = CpuType(Topology) == 0;
  const CHAR8 *const CpuTypeMessage = "\nInvalid Cpu type.\n";
  switch (BoxType) {
    case CsrBoxCha0:
    case CsrBoxCha1:
    case CsrBoxCha2: {
      // Eight instances per device: 0-7, 8-15, 16-23 and 24-27 on four consecutive devices.
      constexpr UINT8 FirstDevice[3] = {8, 14, 20};
      if (Cpu0 && Instance <= 27) {
        return FirstDevice[BoxType] + Instance / 8;
      }
      return Stopped(Context, "\nInvalid CHA Box Instance Number %d. \n", Instance);
    }
    case CsrBoxChabc:
      return (Cpu0 && Instance == 0) ? 29 : Stopped(Context, "\nInvalid CHABC Box Instance Number %d. \n", Instance);
    case CsrBoxPcu:
      return (Cpu0 && Instance == 0) ? 30 : Stopped(Context, "\nInvalid PCU Box Instance Number %d. \n", Instance);
    case CsrBoxVcu:
      return (Cpu0 && Instance == 0) ? 31 : Stopped(Context, "\nInvalid VCU Box Instance Number %d. \n", Instance);
    case CsrBoxM2mem:
      return (Cpu0 && Instance <= 1) ? 8u + Instance
                                     : Stopped(Context, "\nInvalid M2MEM Box Instance Number %d. \n", Instance);
    case CsrBox7:
    case CsrBox11:
      if (!Cpu0) return Stopped(Context, CpuTypeMessage);
      if (Instance <= 1) return 10;
      if (Instance == 2) return 11;
      if (Instance <= 4) return 12;
      if (Instance == 5) return 13;
      return 0;  // above 5: device 0 without a message
    case CsrBox8: {
      if (!Cpu0) return Stopped(Context, CpuTypeMessage);
      const UINT8 D = InstancesPerDevice(Topology);
      if (!InstancesPerDeviceValid(Context, BoxType, D)) return 0;
      return 22u + static_cast<UINT8>(Instance / D);
    }
    case CsrBoxWzl9:
      if (!Cpu0) return Stopped(Context, CpuTypeMessage);
      return Instance <= 2 ? 14u + Instance : Stopped(Context, "\nInvalid WZL Box Instance Number %d. \n", Instance);
    case CsrBox10:
      if (!Cpu0) return Stopped(Context, CpuTypeMessage);
      return Instance <= 1 ? 18 : Stopped(Context, "\nInvalid Box instance.\n");
    case CsrBoxWzl12:
      if (!Cpu0) return Stopped(Context, CpuTypeMessage);
      return Instance < Box12InstanceCount ? Box12DeviceTable[Instance]
                                           : Stopped(Context, "\nInvalid WZL Box Instance Number %d. \n", Instance);
    case CsrBoxIioPcieDmi:
      return (Cpu0 && Instance <= 3) ? 0
                                     : Stopped(Context, "\nInvalid IIO PCIE DMI Box Instance Number %d. \n", Instance);
    case CsrBoxIioPcie:
      if (Cpu0 && Instance <= 20) {
        return Instance == 0 ? 0 : static_cast<UINT8>(Instance - 1) % 4;
      }
      return Stopped(Context, "\nInvalid IIO PCIE Box Instance Number %d. \n", Instance);
    case CsrBoxIioPcieNtb:
      return Cpu0 ? 0 : Stopped(Context, "\nInvalid IIO PCIE Box Instance Number %d. \n", Instance);
    case CsrBoxIioQd:
      return Cpu0 ? 4 : Stopped(Context, "\nInvalid IIO QD Box Instance Number %d. \n", Instance);
    case CsrBoxIioVtd:
      return Cpu0 ? 5 : Stopped(Context, "\nInvalid IIO VTD Box Instance Number %d. \n", Instance);
    case CsrBoxIioDfx:
      return (Cpu0 && Instance <= 20) ? 7 : Stopped(Context, "\nInvalid IIO DFX Box Instance Number %d. \n", Instance);
    case CsrBoxUbox:
      return (Cpu0 && Instance == 0) ? 8 : Stopped(Context, "\nInvalid Ubox Instance Number %d. \n", Instance);
    case CsrBoxFpga:
      return (Cpu0 && Instance == 0) ? 16 : Stopped(Context, "\nInvalid FPGA Instance number %d. \n", Instance);
    default:
      return Stopped(Context, "\nInvalid Box Type %d. \n", BoxType);
  }
}

// Sums are taken in 32 bits so that a missing entry (0xFF) plus an offset stays above 7 and is refused.
UINT32 FunctionByRule(const UINT8 *Context, UINT8 BoxType, UINT8 Instance, UINT8 Block, const UINT8 *Topology) {
  const UINT8 Cpu = CpuType(Topology);
  const auto T = [&](UINT32 Index) -> UINT32 { return FunctionBlockEntry(Cpu, BoxType, Index); };
  switch (BoxType) {
    case CsrBoxCha0:
    case CsrBoxCha1:
    case CsrBoxCha2:
      return (Instance <= 27 && Cpu == 0) ? Instance % 8u : 0;
    case CsrBoxChabc:
    case CsrBoxPcu:
    case CsrBoxVcu:
    case CsrBoxM2mem:
    case CsrBoxWzl9:
    case CsrBoxIioPcieDmi:
    case CsrBoxIioPcie:
    case CsrBoxIioPcieNtb:
    case CsrBoxIioQd:
    case CsrBoxIioVtd:
    case CsrBoxUbox:
      return T(Block);
    case CsrBox7: {
      if (Block > 1) return 4;
      const UINT8 D = InstancesPerDevice(Topology);
      if (!InstancesPerDeviceValid(Context, BoxType, D)) return 0;
      return T(static_cast<UINT8>(Instance % D)) + Block;
    }
    case CsrBox8: {
      const UINT8 D = InstancesPerDevice(Topology);
      if (!InstancesPerDeviceValid(Context, BoxType, D)) return 0;
      return T(static_cast<UINT8>(Instance % D)) + (Block == 2 ? 3u : Block);
    }
    case CsrBox10:
      return T(Block) + (Instance == 1 ? 4u : 0u);
    case CsrBox11: {
      const UINT8 D = InstancesPerDevice(Topology);
      if (!InstancesPerDeviceValid(Context, BoxType, D)) return 0;
      return T(static_cast<UINT8>(Instance % D)) + Block;
    }
    case CsrBoxWzl12:
      return T(Block) + ((Instance == 2 || Instance == 4) ? 4u : 0u);
    case CsrBoxIioDfx:
      if (Instance < 21 && T(Block) != CsrNoFunction) {
        if (Block != 0) return T(Block);
        return Instance == 0 ? 0 : static_cast<UINT8>(Instance - 1) % 4u;
      }
      return Stopped(Context, "\nInvalid IIO DFX Box Instance Number %d. \n", Instance);
    case CsrBoxFpga:
      return Instance == 0 ? 0 : Stopped(Context, "\nInvalid FPGA Box Instance Number %d. \n", Instance);
    default:
      return Stopped(Context, "\nInvalid Box Type %d. \n", BoxType);
  }
}

// The stack whose bus a box type sits on, for the box types that always sit on one stack; the others
// (StackByInstance) are decided by their instance or functional block.
constexpr UINT8 StackByInstance = 0xFF;
constexpr UINT8 FixedStackOfBox[CsrBoxTypeCount] = {
    1,
    1,
    1,
    1,
    1,
    1,  // CHA 0-2, CHABC, PCU, VCU
    2,
    2,
    2,  // M2MEM, 7, 8
    3,
    3,
    2,
    3,  // WZL9, 10, 11, WZL12
    0,
    StackByInstance,
    StackByInstance,
    0,
    StackByInstance,  // IIO PCIe DMI, PCIe, PCIe NTB, QD, VTD
    StackByInstance,
    0,
    0,  // IIO DFX, UBOX, FPGA
};

}  // namespace

UINT32 GetCsrBus(const UINT8 *Context, UINT8 Socket, UINT8 BoxType, UINT8 Instance, UINT8 FunctionalBlock,
                 const UINT8 *Topology) {
  if (!SocketAccepted(Topology, Socket, BoxType)) {
    return Stopped(Context, "\nInvalid Socket Id %d. \n", Socket);
  }
  if (BoxType < CsrBoxTypeCount && FixedStackOfBox[BoxType] != StackByInstance) {
    return StackBus(Topology, Socket, FixedStackOfBox[BoxType]);
  }
  switch (BoxType) {
    case CsrBoxIioPcie:
      return IioPcieBus(Context, Topology, Socket, Instance);
    case CsrBoxIioPcieNtb:
      if (Instance != 0 && IioStack(Instance) < StackCount) {
        return StackBus(Topology, Socket, IioStack(Instance));
      }
      return Stopped(Context, "\nInvalid BOX_IIO_PCIE_NTB BoxInstance %d. \n", Instance);
    case CsrBoxIioVtd:
      return Instance < StackCount ? StackBus(Topology, Socket, Instance)
                                   : Stopped(Context, "\nInvalid BOX_IIO_VTD BoxInstance %d. \n", Instance);
    case CsrBoxIioDfx:
      switch (FunctionalBlock) {
        case 0:
          return IioPcieBus(Context, Topology, Socket, Instance);
        case 2:
        case 4:
          return Instance < StackCount ? StackBus(Topology, Socket, Instance) : 0;  // bus 0 without a message
        case 1:
        case 3:
        case 5:
          return StackBus(Topology, Socket, 0);
        default:
          return Stopped(Context, "\nInvalid BoxType %d, Functional block %d. \n", BoxType, FunctionalBlock);
      }
    default:
      return Stopped(Context, "\nInvalid BoxType %d. \n", BoxType);
  }
}

UINT32 GetCsrDevice(const UINT8 *Context, UINT8 BoxType, UINT8 Instance, UINT8 FunctionalBlock, const UINT8 *Topology) {
  (VOID) FunctionalBlock;
  const UINT32 Device = DeviceByRule(Context, BoxType, Instance, Topology);
  if (Device > 31) {
    return Stopped(Context, "\nInvalid Device %d accessed for Box Type %d and Box Instance %d. \n", Device, BoxType,
                   Instance);
  }
  return Device;
}

UINT32 GetCsrFunction(const UINT8 *Context, UINT8 BoxType, UINT8 Instance, UINT8 FunctionalBlock,
                      const UINT8 *Topology) {
  const UINT32 Function = FunctionByRule(Context, BoxType, Instance, FunctionalBlock, Topology);
  if (Function > 7) {
    return Stopped(Context,
                   "\nInvalid Functional Block %d accessed for CPUType %d CPUIndex %d Box Type %d and Box Instance "
                   "%d. \n",
                   FunctionalBlock, CpuType(Topology), GetCpuIndex(Context), BoxType, Instance);
  }
  return Function;
}
