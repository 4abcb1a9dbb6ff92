// Dependency expressions: the form the build writes, the checks before one is trusted, and evaluation.
#include <gtest/gtest.h>

#include <set>

#include "firmware/fv/dependency_expression.h"
#include "tests/firmware/fv/volume_test_files.h"
#include "uefi/pi_dependency_expression.h"

namespace {

using namespace fvtest;

std::vector<uint8_t> Push(const EFI_GUID& g) {
  std::vector<uint8_t> out = {EFI_DEP_PUSH};
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&g);
  out.insert(out.end(), p, p + 16);
  return out;
}

std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::string Check(const std::vector<uint8_t>& e, fv::DepexPhase phase, size_t& at) {
  return fv::CheckDepex(e, phase, at);
}

TEST(Depex, RequiringAllIsPushesJoinedByAndThenEnd) {
  const EFI_GUID needs[2] = {kNeedA, kNeedB};
  EXPECT_EQ(fv::DepexRequiringAll(needs), Cat({Push(kNeedA), Push(kNeedB), {EFI_DEP_AND, EFI_DEP_END}}));
  EXPECT_EQ(fv::DepexRequiringAll({}), (std::vector<uint8_t>{EFI_DEP_TRUE, EFI_DEP_END}));
}

TEST(Depex, HoldsOnlyWhenEveryRequiredGuidIsInstalledAndNamesTheMissingOnes) {
  const EFI_GUID needs[2] = {kNeedA, kNeedB};
  const std::vector<uint8_t> e = fv::DepexRequiringAll(needs);
  auto only_a = [](const EFI_GUID& g) { return GuidEqual(&g, &kNeedA); };
  const fv::DepexOutcome partial = fv::EvaluateDepex(e, only_a);
  EXPECT_FALSE(partial.satisfied);
  ASSERT_EQ(partial.missing.size(), 1u);
  EXPECT_TRUE(GuidEqual(&partial.missing[0], &kNeedB));
  EXPECT_TRUE(fv::EvaluateDepex(e, [](const EFI_GUID&) { return true; }).satisfied);
}

TEST(Depex, OrNotAndSchedulingOpcodes) {
  auto none = [](const EFI_GUID&) { return false; };
  EXPECT_TRUE(fv::EvaluateDepex(Cat({Push(kNeedA), {EFI_DEP_NOT, EFI_DEP_END}}), none).satisfied);
  EXPECT_TRUE(fv::EvaluateDepex(Cat({Push(kNeedA), {EFI_DEP_TRUE, EFI_DEP_OR, EFI_DEP_END}}), none).satisfied);
  EXPECT_FALSE(fv::EvaluateDepex(std::vector<uint8_t>{EFI_DEP_FALSE, EFI_DEP_END}, none).satisfied);
  const fv::DepexOutcome sor = fv::EvaluateDepex(std::vector<uint8_t>{EFI_DEP_SOR, EFI_DEP_TRUE, EFI_DEP_END}, none);
  EXPECT_FALSE(sor.satisfied);
  EXPECT_TRUE(sor.schedule_on_request);
  std::vector<uint8_t> after = Push(kNeedA);
  after[0] = EFI_DEP_AFTER;
  after.push_back(EFI_DEP_END);
  EXPECT_TRUE(fv::EvaluateDepex(after, none).satisfied);
}

TEST(DepexCheck, AcceptsWellFormedExpressions) {
  size_t at = 0;
  const EFI_GUID needs[2] = {kNeedA, kNeedB};
  EXPECT_EQ(Check(fv::DepexRequiringAll(needs), fv::DepexPhase::Pei, at), "");
  EXPECT_EQ(Check({EFI_DEP_SOR, EFI_DEP_TRUE, EFI_DEP_END}, fv::DepexPhase::Dxe, at), "");
}

TEST(DepexCheck, RefusesEachMalformedExpressionAtItsOffset) {
  struct Case {
    std::vector<uint8_t> e;
    fv::DepexPhase phase;
    size_t offset;
    std::string problem;
  };
  std::vector<uint8_t> before = Push(kNeedA);
  before[0] = EFI_DEP_BEFORE;
  const std::vector<Case> cases = {
      {{EFI_DEP_TRUE, 0x0A, EFI_DEP_END}, fv::DepexPhase::Dxe, 1, "unknown opcode 0x0A"},
      {{EFI_DEP_TRUE}, fv::DepexPhase::Dxe, 1, "no END"},
      {{}, fv::DepexPhase::Pei, 0, "no END"},
      {{EFI_DEP_TRUE, EFI_DEP_AND, EFI_DEP_END}, fv::DepexPhase::Dxe, 1, "needs two operands"},
      {{EFI_DEP_NOT, EFI_DEP_END}, fv::DepexPhase::Dxe, 0, "NOT without an operand"},
      {{EFI_DEP_TRUE, EFI_DEP_TRUE, EFI_DEP_END}, fv::DepexPhase::Dxe, 2, "2 values"},
      {{EFI_DEP_TRUE, EFI_DEP_END, EFI_DEP_TRUE}, fv::DepexPhase::Dxe, 2, "follow END"},
      {{EFI_DEP_PUSH, 1, 2, 3}, fv::DepexPhase::Pei, 0, "cut short"},
      {{EFI_DEP_SOR, EFI_DEP_TRUE, EFI_DEP_END}, fv::DepexPhase::Pei, 0, "no meaning in a PEI"},
      {{EFI_DEP_TRUE, EFI_DEP_SOR, EFI_DEP_END}, fv::DepexPhase::Dxe, 1, "first opcode"},
      {Cat({{EFI_DEP_TRUE}, before, {EFI_DEP_END}}), fv::DepexPhase::Dxe, 1, "whole expression"},
  };
  for (const Case& c : cases) {
    size_t at = 99;
    const std::string problem = Check(c.e, c.phase, at);
    EXPECT_NE(problem.find(c.problem), std::string::npos) << "got \"" << problem << "\" for " << c.problem;
    EXPECT_EQ(at, c.offset) << c.problem;
  }
}

TEST(DepexDescribe, ListsOpcodesAndGuids) {
  EXPECT_EQ(fv::DescribeDepex(Cat({Push(kNeedA), {EFI_DEP_NOT, EFI_DEP_END}})),
            "PUSH 01020304-0506-0708-0102-030405060708 NOT END");
}

}  // namespace
