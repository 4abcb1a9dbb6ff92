// The socket/stack bus layout (PCD token 30) as a description and as its 72-byte record.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

constexpr size_t kSocketBusLayoutSize = 72;
constexpr size_t kLayoutSockets = 8;
constexpr size_t kLayoutStacks = 6;

struct SocketLayoutSpec {
  uint8_t segment = 0;
  std::array<std::optional<uint8_t>, kLayoutStacks> stack_bus;  // absent stacks have no bus
};

struct SocketBusLayoutSpec {
  bool valid = true;
  std::array<std::optional<SocketLayoutSpec>, kLayoutSockets> sockets;  // absent sockets are empty
};

// Valid, 3 reserved bytes, SocketPresentMask, then per socket: Segment, StackPresentMask, StackBus[6].
std::vector<uint8_t> RenderSocketBusLayout(const SocketBusLayoutSpec& layout);

}  // namespace sim
