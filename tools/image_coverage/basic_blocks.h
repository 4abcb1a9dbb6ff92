// The static basic blocks of one function, found by disassembling it (capstone) from its start along every
// path the code itself names.
//
// A block starts at the function's start, at every direct branch target inside the function, at every
// entry of a jump table the function indexes, and after every branch, call and return. A call ends a block
// because the emulator's translation blocks end at calls too (direct and indirect): the return lands on a
// block start, so a recorded range always starts on one. Decoding follows fall-through and direct branches
// only: alignment padding after an unconditional jump or return is never decoded and so is not a block, and
// an int3 reached by falling through (after a call that does not return) ends the path without a block.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/image_coverage/code_functions.h"

namespace image_coverage {

enum class CodeWidth { Bits32, Bits64 };

struct StaticBlock {
  uint32_t rva = 0;
  uint32_t size = 0;
};

struct FunctionBlocks {
  CodeFunction function;
  std::vector<StaticBlock> blocks;  // ascending, not overlapping
  std::vector<std::string> notes;   // what the disassembly could not follow (undecodable bytes)
};

// The blocks of function, whose bytes are code[function.rva - code_rva, function.end - code_rva).
// x86-64 jump tables (entries relative to the table, its address loaded with a RIP-relative lea inside the
// function, the table itself inside the function) are followed.
FunctionBlocks FindBlocks(std::span<const uint8_t> code, uint32_t code_rva, const CodeFunction& function,
                          CodeWidth width);

}  // namespace image_coverage
