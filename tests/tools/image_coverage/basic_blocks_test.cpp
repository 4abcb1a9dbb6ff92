// Static basic blocks of hand-assembled x86-64 functions: where blocks start and end, padding, calls that do
// not return, jump tables, and bytes the disassembler cannot decode.
#include "tools/image_coverage/basic_blocks.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace image_coverage {
namespace {

constexpr uint32_t kCodeRva = 0x1000;

// Four functions, laid out as a linker would (offsets from kCodeRva):
const std::vector<uint8_t> kCode = {
    // 0x00 loop: test ecx,ecx; je 0x0c; call 0x2009 (outside); add eax,1;
    //      0x0c: dec ecx; jne 0x0c; ret; then padding int3 int3 nop
    0x85, 0xc9, 0x74, 0x08, 0xe8, 0x00, 0x10, 0x00, 0x00, 0x83, 0xc0, 0x01, 0xff, 0xc9, 0x75, 0xfc, 0xc3, 0xcc, 0xcc,
    0x90,
    // 0x14 stop: call 0x2019 (a function that does not return); int3 int3
    0xe8, 0x00, 0x10, 0x00, 0x00, 0xcc, 0xcc,
    // 0x1b table: cmp ecx,2; ja 0x42; lea rdx,[rip+0x1e] (0x45); movsxd rcx,[rdx+rcx*4]; add rcx,rdx; jmp rcx;
    //      0x30/0x36/0x3c: mov eax,N; ret; 0x42: xor eax,eax; ret; 0x45: the table's three entries
    0x83, 0xf9, 0x02, 0x77, 0x22, 0x48, 0x8d, 0x15, 0x1e, 0x00, 0x00, 0x00, 0x48, 0x63, 0x0c, 0x8a, 0x48, 0x01, 0xd1,
    0xff, 0xe1, 0xb8, 0x01, 0x00, 0x00, 0x00, 0xc3, 0xb8, 0x02, 0x00, 0x00, 0x00, 0xc3, 0xb8, 0x03, 0x00, 0x00, 0x00,
    0xc3, 0x31, 0xc0, 0xc3, 0xeb, 0xff, 0xff, 0xff, 0xf1, 0xff, 0xff, 0xff, 0xf7, 0xff, 0xff, 0xff,
    // 0x51 broken: an opcode x86-64 does not have (push es)
    0x06, 0xc3};

CodeFunction Function(const char* name, uint32_t offset, uint32_t end) {
  CodeFunction f;
  f.name = name;
  f.rva = kCodeRva + offset;
  f.end = kCodeRva + end;
  return f;
}

std::vector<std::pair<uint32_t, uint32_t>> Blocks(const FunctionBlocks& found) {
  std::vector<std::pair<uint32_t, uint32_t>> blocks;
  for (const StaticBlock& block : found.blocks) {
    blocks.emplace_back(block.rva - kCodeRva, block.size);
  }
  return blocks;
}

TEST(BasicBlocks, StartAtTheFunctionBranchTargetsAndAfterBranchesAndCalls) {
  FunctionBlocks found = FindBlocks(kCode, kCodeRva, Function("loop", 0x00, 0x14), CodeWidth::Bits64);
  // The call ends its block (so does the emulator's translation block); the loop head at 0x0c is a branch
  // target reached also by falling through; the padding after the ret is no block.
  std::vector<std::pair<uint32_t, uint32_t>> expected{{0x00, 4}, {0x04, 5}, {0x09, 3}, {0x0c, 4}, {0x10, 1}};
  EXPECT_EQ(Blocks(found), expected);
  EXPECT_TRUE(found.notes.empty());
}

TEST(BasicBlocks, PaddingAfterACallThatDoesNotReturnIsNoBlock) {
  FunctionBlocks found = FindBlocks(kCode, kCodeRva, Function("stop", 0x14, 0x1b), CodeWidth::Bits64);
  std::vector<std::pair<uint32_t, uint32_t>> expected{{0x14, 5}};
  EXPECT_EQ(Blocks(found), expected);
}

TEST(BasicBlocks, EveryJumpTableEntryStartsABlockAndTheTableIsNoCode) {
  FunctionBlocks found = FindBlocks(kCode, kCodeRva, Function("table", 0x1b, 0x51), CodeWidth::Bits64);
  std::vector<std::pair<uint32_t, uint32_t>> expected{{0x1b, 5}, {0x20, 0x10}, {0x30, 6},
                                                      {0x36, 6}, {0x3c, 6},    {0x42, 3}};
  EXPECT_EQ(Blocks(found), expected);
  EXPECT_TRUE(found.notes.empty());
}

TEST(BasicBlocks, AFunctionEndsWhereTheNextBegins) {
  // Cut before the table's cases: the jump table's entries then point outside and are not followed, and the
  // cases are no blocks of this function.
  FunctionBlocks found = FindBlocks(kCode, kCodeRva, Function("table", 0x1b, 0x30), CodeWidth::Bits64);
  std::vector<std::pair<uint32_t, uint32_t>> expected{{0x1b, 5}, {0x20, 0x10}};
  EXPECT_EQ(Blocks(found), expected);
}

TEST(BasicBlocks, UndecodableBytesEndThePathWithANote) {
  FunctionBlocks found = FindBlocks(kCode, kCodeRva, Function("broken", 0x51, 0x53), CodeWidth::Bits64);
  EXPECT_TRUE(found.blocks.empty());
  ASSERT_EQ(found.notes.size(), 1u);
  EXPECT_EQ(found.notes[0], "undecodable bytes at 0x1051");
  // The same byte is an instruction of IA-32 code.
  EXPECT_EQ(FindBlocks(kCode, kCodeRva, Function("broken", 0x51, 0x53), CodeWidth::Bits32).blocks.size(), 1u);
}

TEST(BasicBlocks, AFunctionOutsideTheCodeBytesGivesANote) {
  FunctionBlocks found = FindBlocks(kCode, kCodeRva, Function("outside", 0x50, 0x60), CodeWidth::Bits64);
  EXPECT_TRUE(found.blocks.empty());
  EXPECT_EQ(found.notes.size(), 1u);
}

}  // namespace
}  // namespace image_coverage
