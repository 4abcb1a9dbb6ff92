// The simulated platform module code runs on, as the host forms of the hardware primitives and the simulated
// services reach it: its violations, its bus, the IDT base it answers and its debugger-stop log.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/common/debug_stop_log.h"
#include "sim/common/mmio_bus.h"
#include "sim/common/violations.h"

namespace sim {

// One context is attached at a time. The phase platforms (DxePlatform, PeiPlatform) are contexts and attach
// themselves for their lifetime; a test may attach a bare context around a bus of its own.
class PlatformContext {
 public:
  PlatformContext() = default;
  virtual ~PlatformContext();  // detaches
  PlatformContext(const PlatformContext&) = delete;
  PlatformContext& operator=(const PlatformContext&) = delete;

  // Makes this the attached context. Attaching while another context is attached stacks this one on it: the
  // other is attached again once this one detaches. Attaching a context that is already attached (on top or
  // below) is a programming error of the simulator's user: a message and abort.
  void Attach();
  // Takes the context off the stack (no effect when it is not attached); the context below it, if any, is
  // attached again when this one was on top.
  void Detach();
  bool IsAttached() const { return attached_; }

  sim::Violations& violations() { return violations_; }
  const sim::Violations& violations() const { return violations_; }
  MmioBus& bus() { return bus_; }
  const MmioBus& bus() const { return bus_; }

  // What ReadIdtBase answers (0: no IDT).
  uintptr_t idt_base() const { return idt_base_; }
  void set_idt_base(uintptr_t base) { idt_base_ = base; }

  // The fatal stops module code made on this platform, in order.
  std::vector<DebugStop>& debug_stops() { return debug_stops_; }

  // The context reached while no platform is attached. It maps nothing: every access and service call that
  // reaches it is reported as a violation here (and on stderr); debugger stops are logged as on a platform.
  static PlatformContext& Unattached();

 private:
  struct UnattachedTag {};
  explicit PlatformContext(UnattachedTag) : unattached_(true) {}

  sim::Violations violations_;
  MmioBus bus_{violations_};
  uintptr_t idt_base_ = 0;
  std::vector<DebugStop> debug_stops_;
  PlatformContext* below_ = nullptr;  // the context attached before this one
  bool attached_ = false;
  bool unattached_ = false;

  friend bool IsUnattached(const PlatformContext& context);
};

// The attached context, or PlatformContext::Unattached() when none is.
PlatformContext& CurrentPlatform();

// True for PlatformContext::Unattached().
bool IsUnattached(const PlatformContext& context);

// Reports a misuse to the current context; when no platform is attached the message also goes to stderr,
// naming that no simulated platform is attached.
void ReportToCurrentPlatform(const std::string& message);

}  // namespace sim
