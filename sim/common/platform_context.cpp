// The one pointer to the attached platform context, and attaching and detaching along its stack.
#include "sim/common/platform_context.h"

#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {

// The top of the stack of attached contexts (each links to the one below); null: none attached.
PlatformContext* g_current_platform = nullptr;

}  // namespace

PlatformContext::~PlatformContext() { Detach(); }

void PlatformContext::Attach() {
  if (unattached_) {
    std::fprintf(stderr, "simulator: the unattached context cannot be attached\n");
    std::abort();
  }
  if (attached_) {
    std::fprintf(stderr, "simulator: a platform context was attached twice (it is already attached)\n");
    std::abort();
  }
  below_ = g_current_platform;
  g_current_platform = this;
  attached_ = true;
}

void PlatformContext::Detach() {
  if (!attached_) return;
  if (g_current_platform == this) {
    g_current_platform = below_;
  } else {
    // Detached out of order: unlink it from whichever context sits on it.
    for (PlatformContext* c = g_current_platform; c != nullptr; c = c->below_) {
      if (c->below_ == this) {
        c->below_ = below_;
        break;
      }
    }
  }
  below_ = nullptr;
  attached_ = false;
}

PlatformContext& PlatformContext::Unattached() {
  static PlatformContext context{UnattachedTag{}};
  return context;
}

PlatformContext& CurrentPlatform() {
  return g_current_platform != nullptr ? *g_current_platform : PlatformContext::Unattached();
}

bool IsUnattached(const PlatformContext& context) { return context.unattached_; }

void ReportToCurrentPlatform(const std::string& message) {
  PlatformContext& context = CurrentPlatform();
  if (IsUnattached(context)) {
    std::fprintf(stderr, "simulator: %s (no simulated platform is attached)\n", message.c_str());
    context.violations().Report(message + " (no simulated platform is attached)");
    return;
  }
  context.violations().Report(message);
}

}  // namespace sim
