// Writing, checking and evaluating dependency expressions.
#include "firmware/fv/dependency_expression.h"

#include <cstdio>
#include <cstring>

#include "uefi/pi_dependency_expression.h"

namespace fv {

namespace {

std::string HexByte(unsigned v) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", v);
  return text;
}

bool TakesGuid(uint8_t op) { return op == EFI_DEP_PUSH || op == EFI_DEP_BEFORE || op == EFI_DEP_AFTER; }

const char* OpName(uint8_t op) {
  switch (op) {
    case EFI_DEP_BEFORE: return "BEFORE";
    case EFI_DEP_AFTER: return "AFTER";
    case EFI_DEP_PUSH: return "PUSH";
    case EFI_DEP_AND: return "AND";
    case EFI_DEP_OR: return "OR";
    case EFI_DEP_NOT: return "NOT";
    case EFI_DEP_TRUE: return "TRUE";
    case EFI_DEP_FALSE: return "FALSE";
    case EFI_DEP_END: return "END";
    case EFI_DEP_SOR: return "SOR";
    default: return nullptr;
  }
}

EFI_GUID GuidAt(std::span<const uint8_t> bytes, size_t at) {
  EFI_GUID g;
  std::memcpy(&g, bytes.data() + at, sizeof g);
  return g;
}

}  // namespace

std::string GuidString(const EFI_GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

std::vector<uint8_t> DepexRequiringAll(std::span<const EFI_GUID> guids) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < guids.size(); ++i) {
    out.push_back(EFI_DEP_PUSH);
    const uint8_t* g = reinterpret_cast<const uint8_t*>(&guids[i]);
    out.insert(out.end(), g, g + sizeof(EFI_GUID));
    if (i > 0) out.push_back(EFI_DEP_AND);
  }
  if (guids.empty()) out.push_back(EFI_DEP_TRUE);
  out.push_back(EFI_DEP_END);
  return out;
}

std::string CheckDepex(std::span<const uint8_t> bytes, DepexPhase phase, size_t& bad_offset) {
  size_t depth = 0;
  for (size_t at = 0; at < bytes.size();) {
    bad_offset = at;
    const uint8_t op = bytes[at];
    if (OpName(op) == nullptr) return "unknown opcode " + HexByte(op);
    const bool ordering = op == EFI_DEP_BEFORE || op == EFI_DEP_AFTER || op == EFI_DEP_SOR;
    if (ordering && phase == DepexPhase::Pei) return std::string(OpName(op)) + " has no meaning in a PEI expression";
    if (TakesGuid(op) && at + 1 + sizeof(EFI_GUID) > bytes.size())
      return std::string(OpName(op)) + " is cut short: its GUID needs 16 bytes, " +
             std::to_string(bytes.size() - at - 1) + " are left";
    if (op == EFI_DEP_BEFORE || op == EFI_DEP_AFTER) {
      if (at != 0 || bytes.size() != 18 || bytes[17] != EFI_DEP_END)
        return std::string(OpName(op)) + " must be the whole expression (" + OpName(op) + " GUID END)";
      return {};
    }
    if (op == EFI_DEP_SOR && at != 0) return "SOR may only be the first opcode";
    switch (op) {
      case EFI_DEP_PUSH:
      case EFI_DEP_TRUE:
      case EFI_DEP_FALSE: ++depth; break;
      case EFI_DEP_NOT:
        if (depth < 1) return "NOT without an operand";
        break;
      case EFI_DEP_AND:
      case EFI_DEP_OR:
        if (depth < 2) return std::string(OpName(op)) + " needs two operands, the stack holds " + std::to_string(depth);
        --depth;
        break;
      case EFI_DEP_END:
        if (depth != 1) return "END leaves " + std::to_string(depth) + " values on the stack instead of one";
        if (at + 1 != bytes.size()) {
          bad_offset = at + 1;
          return std::to_string(bytes.size() - at - 1) + " bytes follow END";
        }
        return {};
      default: break;  // SOR
    }
    at += TakesGuid(op) ? 1 + sizeof(EFI_GUID) : 1;
  }
  bad_offset = bytes.size();
  return "the expression has no END";
}

DepexOutcome EvaluateDepex(std::span<const uint8_t> bytes, const std::function<bool(const EFI_GUID&)>& installed) {
  DepexOutcome out;
  std::vector<bool> stack;
  for (size_t at = 0; at < bytes.size();) {
    const uint8_t op = bytes[at];
    switch (op) {
      case EFI_DEP_BEFORE:
      case EFI_DEP_AFTER: out.satisfied = true; return out;
      case EFI_DEP_SOR: out.schedule_on_request = true; break;
      case EFI_DEP_PUSH: {
        const EFI_GUID g = GuidAt(bytes, at + 1);
        const bool have = installed(g);
        if (!have) out.missing.push_back(g);
        stack.push_back(have);
        break;
      }
      case EFI_DEP_TRUE: stack.push_back(true); break;
      case EFI_DEP_FALSE: stack.push_back(false); break;
      case EFI_DEP_NOT:
        if (stack.empty()) return out;
        stack.back() = !stack.back();
        break;
      case EFI_DEP_AND:
      case EFI_DEP_OR: {
        if (stack.size() < 2) return out;
        const bool b = stack.back();
        stack.pop_back();
        stack.back() = op == EFI_DEP_AND ? (stack.back() && b) : (stack.back() || b);
        break;
      }
      case EFI_DEP_END: out.satisfied = stack.size() == 1 && stack.back() && !out.schedule_on_request; return out;
      default: return out;  // not a well-formed expression: never satisfied
    }
    at += TakesGuid(op) ? 1 + sizeof(EFI_GUID) : 1;
  }
  return out;
}

std::string DescribeDepex(std::span<const uint8_t> bytes) {
  std::string text;
  for (size_t at = 0; at < bytes.size();) {
    const uint8_t op = bytes[at];
    if (!text.empty()) text += ' ';
    const char* name = OpName(op);
    if (name == nullptr) return text + HexByte(op) + "?";
    text += name;
    if (TakesGuid(op)) {
      if (at + 1 + sizeof(EFI_GUID) > bytes.size()) return text + " (cut short)";
      text += ' ' + GuidString(GuidAt(bytes, at + 1));
      at += sizeof(EFI_GUID);
    }
    ++at;
  }
  return text;
}

}  // namespace fv
