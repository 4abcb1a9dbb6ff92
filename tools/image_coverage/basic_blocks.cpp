// Recursive disassembly of one function into static basic blocks.
#include "tools/image_coverage/basic_blocks.h"

#include <capstone/capstone.h>

#include <cstring>
#include <iterator>
#include <map>
#include <set>

#include "tools/image_coverage/hex_text.h"

namespace image_coverage {
namespace {

struct Instruction {
  uint32_t size = 0;
  bool ends_block = false;
};

class Disassembler {
 public:
  Disassembler(std::span<const uint8_t> code, uint32_t code_rva, const CodeFunction& function, CodeWidth width)
      : code_(code), code_rva_(code_rva), function_(function), width_(width) {
    ok_ = cs_open(CS_ARCH_X86, width == CodeWidth::Bits64 ? CS_MODE_64 : CS_MODE_32, &handle_) == CS_ERR_OK;
    if (ok_) {
      cs_option(handle_, CS_OPT_DETAIL, CS_OPT_ON);
      insn_ = cs_malloc(handle_);
    }
  }
  ~Disassembler() {
    if (insn_ != nullptr) {
      cs_free(insn_, 1);
    }
    if (ok_) {
      cs_close(&handle_);
    }
  }
  Disassembler(const Disassembler&) = delete;
  Disassembler& operator=(const Disassembler&) = delete;

  FunctionBlocks Run() {
    FunctionBlocks result;
    result.function = function_;
    if (!ok_) {
      result.notes.push_back("the disassembler could not be opened");
      return result;
    }
    leaders_.insert(function_.rva);
    std::vector<uint32_t> pending{function_.rva};
    while (!pending.empty()) {
      while (!pending.empty()) {
        uint32_t start = pending.back();
        pending.pop_back();
        Follow(start, pending, result.notes);
      }
      FollowJumpTables(pending);
    }
    Group(result.blocks);
    return result;
  }

 private:
  bool Inside(uint64_t rva) const { return rva >= function_.rva && rva < function_.end; }

  bool InData(uint32_t rva) const {
    auto it = data_.upper_bound(rva);
    return it != data_.begin() && rva < std::prev(it)->second;
  }

  // Where rva lies inside a decoded instruction (not at its start).
  bool InsideInstruction(uint32_t rva) const {
    auto it = instructions_.lower_bound(rva);
    if (it != instructions_.end() && it->first == rva) {
      return false;
    }
    return it != instructions_.begin() && rva < std::prev(it)->first + std::prev(it)->second.size;
  }

  void AddTarget(uint64_t target, std::vector<uint32_t>& pending) {
    if (!Inside(target)) {
      return;
    }
    auto rva = static_cast<uint32_t>(target);
    leaders_.insert(rva);
    if (instructions_.count(rva) == 0) {
      pending.push_back(rva);
    }
  }

  // Decodes from start along fall-through until an unconditional end, the function's end or bytes already
  // decoded.
  void Follow(uint32_t start, std::vector<uint32_t>& pending, std::vector<std::string>& notes) {
    uint32_t rva = start;
    bool fell_through = false;
    while (Inside(rva) && instructions_.count(rva) == 0 && !InData(rva)) {
      const uint8_t* bytes = code_.data() + (rva - code_rva_);
      size_t left = function_.end - rva;
      uint64_t address = rva;
      if (!cs_disasm_iter(handle_, &bytes, &left, &address, insn_)) {
        notes.push_back("undecodable bytes at " + HexText(rva));
        return;
      }
      // Padding reached by falling through (after a call that does not return) is no block.
      if (fell_through && insn_->id == X86_INS_INT3) {
        return;
      }
      const cs_x86& x86 = insn_->detail->x86;
      NoteJumpTableBase(rva, x86);
      bool jump = cs_insn_group(handle_, insn_, CS_GRP_JUMP);
      bool call = cs_insn_group(handle_, insn_, CS_GRP_CALL);
      bool unconditional = insn_->id == X86_INS_JMP || insn_->id == X86_INS_LJMP ||
                           cs_insn_group(handle_, insn_, CS_GRP_RET) || cs_insn_group(handle_, insn_, CS_GRP_IRET) ||
                           insn_->id == X86_INS_UD2 || insn_->id == X86_INS_HLT || insn_->id == X86_INS_INT3;
      bool ends = jump || call || unconditional || cs_insn_group(handle_, insn_, CS_GRP_INT);
      instructions_[rva] = Instruction{insn_->size, ends};
      if (jump && x86.op_count == 1 && x86.operands[0].type == X86_OP_IMM) {
        AddTarget(static_cast<uint64_t>(x86.operands[0].imm), pending);
      }
      uint32_t next = rva + insn_->size;
      if (unconditional) {
        return;
      }
      if (ends) {
        leaders_.insert(next);
      }
      rva = next;
      fell_through = true;
    }
  }

  // A RIP-relative lea of an address inside the function may load a jump table's base.
  void NoteJumpTableBase(uint32_t rva, const cs_x86& x86) {
    if (width_ != CodeWidth::Bits64 || insn_->id != X86_INS_LEA || x86.op_count != 2 ||
        x86.operands[1].type != X86_OP_MEM || x86.operands[1].mem.base != X86_REG_RIP ||
        x86.operands[1].mem.index != X86_REG_INVALID) {
      return;
    }
    int64_t target = static_cast<int64_t>(rva) + insn_->size + x86.operands[1].mem.disp;
    if (target >= 0 && Inside(static_cast<uint64_t>(target))) {
      table_bases_.insert(static_cast<uint32_t>(target));
    }
  }

  // Reads the 32-bit entries of each noted table, relative to its base, while they land inside the function
  // on no decoded instruction's middle, and the entry itself lies on no instruction or other table.
  void FollowJumpTables(std::vector<uint32_t>& pending) {
    for (uint32_t base : table_bases_) {
      uint32_t position = base;
      if (auto seen = data_.find(base); seen != data_.end()) {
        position = seen->second;
      }
      while (position + 4 <= function_.end && position + 4 > position) {
        if (InsideInstruction(position) || instructions_.count(position) != 0 ||
            (position != base && table_bases_.count(position) != 0)) {
          break;
        }
        int32_t entry = 0;
        std::memcpy(&entry, code_.data() + (position - code_rva_), sizeof entry);
        int64_t target = static_cast<int64_t>(base) + entry;
        if (target < 0 || !Inside(static_cast<uint64_t>(target)) ||
            (target >= base && target < static_cast<int64_t>(position) + 4) ||
            InsideInstruction(static_cast<uint32_t>(target))) {
          break;
        }
        position += 4;
        data_[base] = position;
        AddTarget(static_cast<uint64_t>(target), pending);
      }
    }
  }

  // Cuts the decoded instructions into blocks at the leaders, after block-ending instructions and at gaps.
  void Group(std::vector<StaticBlock>& blocks) const {
    uint32_t block_end = 0;
    bool open = false;
    for (const auto& [rva, instruction] : instructions_) {
      if (!open || rva != block_end || leaders_.count(rva) != 0) {
        blocks.push_back(StaticBlock{rva, 0});
      }
      blocks.back().size = rva + instruction.size - blocks.back().rva;
      block_end = rva + instruction.size;
      open = !instruction.ends_block;
    }
  }

  std::span<const uint8_t> code_;
  uint32_t code_rva_;
  const CodeFunction& function_;
  CodeWidth width_;
  bool ok_ = false;
  csh handle_ = 0;
  cs_insn* insn_ = nullptr;
  std::map<uint32_t, Instruction> instructions_;
  std::set<uint32_t> leaders_;
  std::set<uint32_t> table_bases_;
  std::map<uint32_t, uint32_t> data_;  // jump table base -> one past its last entry read
};

}  // namespace

FunctionBlocks FindBlocks(std::span<const uint8_t> code, uint32_t code_rva, const CodeFunction& function,
                          CodeWidth width) {
  FunctionBlocks result;
  if (function.rva < code_rva || function.end < function.rva || function.end - code_rva > code.size()) {
    result.function = function;
    result.notes.push_back("the function lies outside the code bytes");
    return result;
  }
  return Disassembler(code, code_rva, function, width).Run();
}

}  // namespace image_coverage
