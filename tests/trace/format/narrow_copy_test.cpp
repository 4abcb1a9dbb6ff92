// Word-at-a-time copying: exact stop positions at every offset inside a word, target bytes past the copy
// unchanged, source reads that stay inside the page the text ends in.
#include "trace/format/narrow_copy.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "format_test_support.h"

namespace {

constexpr size_t kTarget = 64;

// Copies Text (stop rule Stop) into a target prefilled with '#', with Room bytes of room; returns the
// target as a string and the count through *Copied.
template <typename Stop>
std::string CopyInto(const std::string& Text, size_t Room, size_t* Copied) {
  unsigned char Target[kTarget];
  memset(Target, '#', sizeof Target);
  *Copied = narrow_copy::CopyUntil<Stop>(Target, reinterpret_cast<const UINT8*>(Text.c_str()), Room);
  return std::string(reinterpret_cast<char*>(Target), sizeof Target);
}

TEST(CopyUntil, StopsAtAFormatSpecialAtEveryOffsetAndLeavesTheRestOfTheTarget) {
  for (char Special : {'%', '\n', '\r', '\0'}) {
    for (size_t At = 0; At < 20; ++At) {
      std::string Text(At, 'a');
      for (size_t I = 0; I < At; ++I) Text[I] = static_cast<char>('a' + I);
      Text += Special;
      Text += "tail";
      size_t Copied = 0;
      std::string Target = CopyInto<narrow_copy::StopAtFormatSpecial>(Text, 40, &Copied);
      EXPECT_EQ(Copied, At) << static_cast<int>(Special);
      EXPECT_EQ(Target, Text.substr(0, At) + std::string(kTarget - At, '#'))
          << static_cast<int>(Special) << " at " << At;
    }
  }
}

TEST(CopyUntil, FormatTextMayEndEarlyOnlyAtAControlOrNonAsciiCharacter) {
  // The word test flags every byte below 0x0E and above 0x7F; a copy may end at one before the real stop,
  // never at another byte, and everything before it is copied.
  const std::string Text = std::string("ab\x01\x09\x0b\x0c\x0d") + "\x0e" + "cd\x0bxy\x7f\x80z\xa5\xff" + "q%tail";
  for (size_t Start = 0;;) {
    size_t Copied = 0;
    std::string Rest = Text.substr(Start);
    std::string Target = CopyInto<narrow_copy::StopAtFormatSpecial>(Rest, 40, &Copied);
    ASSERT_LE(Copied, Rest.find('%'));
    EXPECT_TRUE(narrow_copy::StopAtFormatSpecial::Candidate(static_cast<UINT8>(Rest[Copied]))) << Start;
    EXPECT_EQ(Target, Rest.substr(0, Copied) + std::string(kTarget - Copied, '#'));
    if (Rest[Copied] == '%') break;
    Start += Copied + 1;
  }
}

TEST(CopyUntil, ControlAndNonAsciiCharactersInFormatTextComeOutUnchanged) {
  for (size_t At = 0; At < 12; ++At) {
    std::string Format = std::string(At, 'f') + "\x01\x0b\x0c" + std::string(At, 'g') + "\x80\xa5\xe9\xff" +
                         std::string(At, 'h') + "\x0e%%";
    EXPECT_EQ(format_test::Fmt(Format.c_str()), Format.substr(0, Format.size() - 1)) << At;
  }
}

TEST(CopyUntil, StringsWithBytesAbove0x7FAreCopiedWholeUpToTheirNul) {
  // The word test flags such bytes too; a string copy goes on past them and ends at the NUL only.
  for (size_t At = 0; At < 20; ++At) {
    std::string Text;
    for (size_t I = 0; I < At; ++I) Text += static_cast<char>(I % 3 == 0 ? 0x80 + 0x11 * (I % 8) : 'a' + I);
    Text += '\0';
    Text += "tail";
    size_t Copied = 0;
    std::string Target = CopyInto<narrow_copy::StopAtNul>(Text, 40, &Copied);
    EXPECT_EQ(Copied, At);
    EXPECT_EQ(Target, Text.substr(0, At) + std::string(kTarget - At, '#')) << At;
  }
  EXPECT_EQ(format_test::Fmt("<%a>", "\xe9t\xe9\x81\xff\x80!"), "<\xe9t\xe9\x81\xff\x80!>");
}

TEST(CopyUntil, RoomEndsTheCopyInsideAWord) {
  // Blanks and the characters just below '%' are no stop bytes: the byte steps at the room's end copy them.
  for (const std::string& Text : {std::string(30, 'q'), std::string(6, ' ') + "!\"#$!\"#$ !\"#$ !\"#$ $$$$$$$$"}) {
    for (size_t Room = 0; Room < 20; ++Room) {
      size_t Copied = 0;
      std::string Target = CopyInto<narrow_copy::StopAtNul>(Text, Room, &Copied);
      EXPECT_EQ(Copied, Room);
      EXPECT_EQ(Target, Text.substr(0, Room) + std::string(kTarget - Room, '#'));
      Target = CopyInto<narrow_copy::StopAtFormatSpecial>(Text, Room, &Copied);
      EXPECT_EQ(Copied, Room);
      EXPECT_EQ(Target, Text.substr(0, Room) + std::string(kTarget - Room, '#')) << Room;
    }
  }
}

// The word test flags the lowest byte of a word exactly when that byte is a stop byte or a candidate.
template <typename Stop>
void ExpectWordTestFlagsExactlyTheCandidates() {
  for (UINTN Byte = 0; Byte < 256; ++Byte) {
    UINTN Word = narrow_copy::kOnes * 'a';
    Word = (Word & ~static_cast<UINTN>(0xFF)) | Byte;
    bool Flagged = (Stop::Word(Word) & 0x80) != 0;
    EXPECT_EQ(Flagged, Stop::Candidate(static_cast<UINT8>(Byte))) << "byte " << Byte;
    if (Stop::Byte(static_cast<UINT8>(Byte))) {
      EXPECT_TRUE(Flagged) << "stop byte " << Byte;
    }
  }
}

TEST(CopyUntil, WordTestFlagsExactlyTheCandidateBytes) {
  ExpectWordTestFlagsExactlyTheCandidates<narrow_copy::StopAtNul>();
  ExpectWordTestFlagsExactlyTheCandidates<narrow_copy::StopAtFormatSpecial>();
}

TEST(CopyUntil, TextEndingAtAFaultingPageIsReadSafely) {
  format_test::GuardedMemory Memory(4096);
  ASSERT_TRUE(Memory.Ok());
  for (size_t Length = 0; Length < 20; ++Length) {
    UINT8* Text = Memory.End() - Length - 1;
    memset(Text, 'z', Length);
    Text[Length] = 0;
    unsigned char Target[kTarget];
    EXPECT_EQ(narrow_copy::CopyUntil<narrow_copy::StopAtNul>(Target, Text, sizeof Target), Length);
    EXPECT_EQ(narrow_copy::CopyUntil<narrow_copy::StopAtFormatSpecial>(Target, Text, sizeof Target), Length);
  }
}

TEST(CopyBytes, EveryLengthCopiesExactlyItsBytes) {
  unsigned char Source[48];
  for (size_t I = 0; I < sizeof Source; ++I) Source[I] = static_cast<unsigned char>(0x30 + I);
  for (size_t N = 0; N <= 40; ++N) {
    unsigned char Target[48];
    memset(Target, '#', sizeof Target);
    narrow_copy::CopyBytes(Target + 3, Source + 1, N);
    for (size_t I = 0; I < sizeof Target; ++I) {
      unsigned char Expected = I >= 3 && I < 3 + N ? Source[1 + I - 3] : '#';
      ASSERT_EQ(Target[I], Expected) << "length " << N << " byte " << I;
    }
  }
}

TEST(CopyBytes, ReadsNothingPastTheSource) {
  format_test::GuardedMemory Memory(4096);
  ASSERT_TRUE(Memory.Ok());
  for (size_t N = 1; N <= 24; ++N) {
    UINT8* Source = Memory.End() - N;
    memset(Source, 'k', N);
    unsigned char Target[32] = {};
    narrow_copy::CopyBytes(Target, Source, N);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(Target), N), std::string(N, 'k'));
  }
}

}  // namespace
