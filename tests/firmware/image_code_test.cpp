// The machine code of the built images, read back with llvm-objdump: the PEI module touches no
// floating-point or vector register (it runs before any such state is set up), and the driver never
// addresses memory below its stack pointer (an interrupt taken on its stack would overwrite it).
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

namespace {

struct Disassembly {
  std::vector<std::string> Lines;  // instruction lines only
  int ExitStatus = -1;
};

Disassembly Disassemble(const char* Image) {
  Disassembly Result;
  std::string Command = std::string(LLVM_OBJDUMP) + " -d --no-show-raw-insn '" + Image + "' 2>&1";
  FILE* Pipe = popen(Command.c_str(), "r");
  if (Pipe == nullptr) {
    return Result;
  }
  char Line[512];
  // Instruction lines start with an address followed by a colon and a tab.
  const std::regex Instruction(R"(^\s*[0-9a-f]+:\s)");
  while (std::fgets(Line, sizeof Line, Pipe) != nullptr) {
    if (std::regex_search(Line, Instruction)) {
      Result.Lines.emplace_back(Line);
    }
  }
  Result.ExitStatus = pclose(Pipe);
  return Result;
}

// Disassembles Image and fails for every instruction line that matches Pattern (the first ten shown).
void ExpectNoInstructionMatches(const char* Image, const std::regex& Pattern, const char* What) {
  Disassembly Code = Disassemble(Image);
  ASSERT_EQ(Code.ExitStatus, 0) << LLVM_OBJDUMP << " failed on " << Image;
  ASSERT_GT(Code.Lines.size(), 100u) << "no code disassembled from " << Image;
  std::string Shown;
  size_t Found = 0;
  for (const std::string& L : Code.Lines) {
    if (std::regex_search(L, Pattern) && ++Found <= 10) {
      Shown += L;
    }
  }
  EXPECT_EQ(Found, 0u) << Found << " instructions " << What << ":\n" << Shown;
}

// x87 instructions (every mnemonic starting with 'f', some of which name no register, like fld1 or
// fildll 8(%esp)), and x87, MMX and SSE/AVX register operands, in AT&T syntax.
const std::regex kFloatingOrVectorRegister(R"(:\s+f[a-z0-9]*(\s|$)|%(st|mm[0-7]|xmm[0-9]+|ymm[0-9]+|zmm[0-9]+)\b)");
// A memory operand at a negative displacement from the stack pointer: -8(%rsp), -0x10(%rsp,...).
const std::regex kBelowStackPointer(R"(-(0x)?[0-9a-f]+\(%[re]?sp[,)])");

TEST(PeiModuleCode, UsesGeneralPurposeRegistersOnly) {
  ExpectNoInstructionMatches(PEI_IMAGE, kFloatingOrVectorRegister, "use floating-point or vector registers");
}

TEST(DxeDriverCode, NeverAddressesMemoryBelowTheStackPointer) {
  ExpectNoInstructionMatches(DXE_IMAGE, kBelowStackPointer, "use memory below the stack pointer");
}

// The patterns themselves: each must see the instruction forms it is meant to catch.
TEST(ImageCodePatterns, RecogniseTheForbiddenForms) {
  EXPECT_TRUE(std::regex_search("  401000: \tmovaps\t%xmm0, (%eax)", kFloatingOrVectorRegister));
  EXPECT_TRUE(std::regex_search("  401000: \tfstp\t%st(0)", kFloatingOrVectorRegister));
  EXPECT_TRUE(std::regex_search("  401000: \tmovq\t%mm1, %mm2", kFloatingOrVectorRegister));
  EXPECT_TRUE(std::regex_search("  401000: \tfld1\n", kFloatingOrVectorRegister));
  EXPECT_TRUE(std::regex_search("  401000: \tfildll\t8(%esp)", kFloatingOrVectorRegister));
  EXPECT_FALSE(std::regex_search("  401000: \tmovl\t%esp, %ebp", kFloatingOrVectorRegister));
  EXPECT_FALSE(std::regex_search("  401000: \tmfence\n", kFloatingOrVectorRegister));
  EXPECT_TRUE(std::regex_search("  140001000: \tmovq\t%rax, -8(%rsp)", kBelowStackPointer));
  EXPECT_TRUE(std::regex_search("  140001000: \tmovl\t%eax, -0x18(%rsp,%rcx)", kBelowStackPointer));
  EXPECT_FALSE(std::regex_search("  140001000: \tmovq\t%rax, 8(%rsp)", kBelowStackPointer));
  EXPECT_FALSE(std::regex_search("  140001000: \tmovq\t%rax, -8(%rbp)", kBelowStackPointer));
}

}  // namespace
