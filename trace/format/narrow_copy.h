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
// top bit of every flagged byte; its lowest flagged byte is exact, it may flag bytes that do not stop
// (those are then taken one at a time), and it never misses one.
struct StopAtNul {
  static bool Byte(UINT8 C) { return C == 0; }
  static UINTN Word(UINTN W) { return (W - kOnes) & ~W & kHighs; }
};

// Plain format text ends at NUL, '%', LF or CR. The word test flags any byte below 0x0E or equal to '%'.
struct StopAtFormatSpecial {
  static bool Byte(UINT8 C) { return C <= '%' && (C == '%' || C == 0 || C == '\n' || C == '\r'); }
  static UINTN Word(UINTN W) {
    UINTN Percent = W ^ (kOnes * '%');
    return (((W - kOnes * 0x0E) & ~W) | ((Percent - kOnes) & ~Percent)) & kHighs;
  }
};

inline UINTN LowestFlaggedByte(UINTN Mask) {
  if constexpr (sizeof(UINTN) == 8) {
    return static_cast<UINTN>(__builtin_ctzll(Mask)) / 8;
  } else {
    return static_cast<UINTN>(__builtin_ctz(static_cast<UINT32>(Mask))) / 8;
  }
}

// Copies bytes from From to To until a stop byte or Room bytes, and returns the number copied. A whole
// word is read only when it lies inside one page, so a read runs at most a word's width minus one bytes
// past the stop byte and never into a page the text does not reach; such reads are outside the text as
// the language sees it, hence the sanitizer exemption. Nothing past the copied bytes is written.
template <typename Stop>
__attribute__((no_sanitize_address)) UINTN CopyUntil(UINT8 *To, const UINT8 *From, UINTN Room) {
  UINTN N = 0;
  for (;;) {
    if (Room - N >= kWord && (reinterpret_cast<UINTN>(From + N) & (kPage - 1)) <= kPage - kWord) {
      UINTN Word = *reinterpret_cast<const SourceWord *>(From + N);
      UINTN Mask = Stop::Word(Word);
      if (Mask == 0) {
        *reinterpret_cast<TargetWord *>(To + N) = Word;
        N += kWord;
        continue;
      }
      for (UINTN Last = N + LowestFlaggedByte(Mask); N < Last; ++N) To[N] = From[N];
    }
    if (N >= Room || Stop::Byte(From[N])) return N;
    To[N] = From[N];
    ++N;
  }
}

}  // namespace narrow_copy
