// Copying 1-byte text up to a stop character a machine word at a time: the formatter's hot path for
// plain format text and for ASCII strings.
#pragma once
#include "uefi/base_types.h"

namespace narrow_copy {

typedef UINTN __attribute__((may_alias, aligned(1))) SourceWord;  // read at any alignment
typedef UINTN __attribute__((may_alias, aligned(1))) TargetWord;  // written at any alignment

constexpr UINTN kOnes = ~static_cast<UINTN>(0) / 0xFF;  // 0x01 in every byte
constexpr UINTN kHighs = kOnes * 0x80;                  // 0x80 in every byte

constexpr UINTN kWord = sizeof(UINTN);
constexpr UINTN kPage = 4096;

// Bytes that stop a copy, tested one at a time and a word at a time. The word test gives a mask with the
// top bit of every flagged byte and never misses a stop byte. Its lowest flagged byte is either a stop
// byte or a byte of the struct's Candidate set. The word tests leave out the usual "and not the byte
// itself" term (two instructions and a register fewer per word), so bytes above 0x7F are flagged too.
// kEndsAtCandidate: a copy ends at a candidate that is no stop byte (the caller handles it), or copies it
// and goes on.
struct StopAtNul {
  static constexpr bool kEndsAtCandidate = false;
  __attribute__((always_inline)) static bool Byte(UINT8 C) { return C == 0; }
  static bool Candidate(UINT8 C) { return C == 0 || C > 0x80; }
  static UINTN Word(UINTN W) { return (W - kOnes) & kHighs; }
};

// Plain format text ends at NUL, '%', LF or CR. The word test flags any byte below 0x0E, equal to '%' or
// above 0x7F, so a copy may also end at one of those other bytes: the formatter's main loop then emits
// that byte as a plain character and copies on.
struct StopAtFormatSpecial {
  static constexpr bool kEndsAtCandidate = true;
  __attribute__((always_inline)) static bool Byte(UINT8 C) {
    return C <= '%' && (C == '%' || C == 0 || C == '\n' || C == '\r');
  }
  static bool Candidate(UINT8 C) { return C < 0x0E || C == '%' || C > 0x7F; }
  static UINTN Word(UINTN W) { return ((W - kOnes * 0x0E) | ((W ^ (kOnes * '%')) - kOnes)) & kHighs; }
};

inline UINTN LowestFlaggedByte(UINTN Mask) {
  if constexpr (sizeof(UINTN) == 8) {
    return static_cast<UINTN>(__builtin_ctzll(Mask)) / 8;
  } else {
    return static_cast<UINTN>(__builtin_ctz(static_cast<UINT32>(Mask))) / 8;
  }
}

// A source word read by one instruction that the address sanitizer does not instrument: CopyUntil's
// reads may run past the text (never past its page), which the language does not see as inside it.
inline UINTN LoadWordWithinPage(const UINT8 *P) {
  UINTN Word;
  __asm__("mov %1, %0" : "=r"(Word) : "m"(*reinterpret_cast<const SourceWord *>(P)));
  return Word;
}

// Copies bytes from From to To until a stop byte (or, where Stop::kEndsAtCandidate, a Stop::Candidate byte
// before it) or Room bytes, and returns the number copied. A whole word is read only when it lies inside
// one page, so a read runs at most a word's width minus one bytes past the stop byte and never into a page
// the text does not reach.
// Nothing past the copied bytes changes: a target word that ends past them is read back and rewritten
// with the same bytes there.
template <typename Stop>
UINTN CopyUntil(UINT8 *To, const UINT8 *From, UINTN Room) {
  UINTN N = 0;
  for (;;) {
    // Whole words while they end inside the room and inside the page of From + N.
    UINTN PageLeft = kPage - (reinterpret_cast<UINTN>(From + N) & (kPage - 1));
    UINTN Limit = Room - N < PageLeft ? Room : N + PageLeft;
    while (N + kWord <= Limit) {
      UINTN Word = LoadWordWithinPage(From + N);
      UINTN Mask = Stop::Word(Word);
      if (Mask == 0) {
        *reinterpret_cast<TargetWord *>(To + N) = Word;
        N += kWord;
        continue;
      }
      // The bytes before the flagged one go out in one store: the target word (inside the room) keeps
      // its own bytes from the flagged one on, so nothing past the copied bytes changes.
      UINTN Taken = LowestFlaggedByte(Mask);
      UINTN Kept = ~static_cast<UINTN>(0) << (8 * Taken);
      TargetWord *Target = reinterpret_cast<TargetWord *>(To + N);
      *Target = (Word & ~Kept) | (*Target & Kept);
      N += Taken;
      if (Stop::kEndsAtCandidate) return N;
      break;  // the byte step below ends the copy at a stop byte, or copies the candidate and goes on
    }
    if (N >= Room || Stop::Byte(From[N])) return N;
    To[N] = From[N];
    ++N;
  }
}

// Copies N bytes (Unit <= N <= 2 * Unit) with two overlapping Unit-sized moves, both read before either
// is written.
template <typename Unit>
void CopyOverlappingPair(UINT8 *To, const UINT8 *From, UINTN N) {
  Unit First;
  Unit Final;
  __builtin_memcpy(&First, From, sizeof(Unit));
  __builtin_memcpy(&Final, From + N - sizeof(Unit), sizeof(Unit));
  __builtin_memcpy(To, &First, sizeof(Unit));
  __builtin_memcpy(To + N - sizeof(Unit), &Final, sizeof(Unit));
}

// Copies N bytes, a word (or a half or quarter word) at a time: two overlapping moves cover any length
// from one to two units, so no byte outside [From, From + N) is read and none outside [To, To + N) is
// written.
inline void CopyBytes(UINT8 *To, const UINT8 *From, UINTN N) {
  if (N >= kWord) {
    UINTN Last = *reinterpret_cast<const SourceWord *>(From + N - kWord);
    for (UINTN I = 0; I + kWord < N; I += kWord) {
      *reinterpret_cast<TargetWord *>(To + I) = *reinterpret_cast<const SourceWord *>(From + I);
    }
    *reinterpret_cast<TargetWord *>(To + N - kWord) = Last;
  } else if (kWord == 8 && N >= 4) {
    CopyOverlappingPair<UINT32>(To, From, N);
  } else if (N >= 2) {
    CopyOverlappingPair<UINT16>(To, From, N);
  } else if (N == 1) {
    To[0] = From[0];
  }
}

}  // namespace narrow_copy
