// Copying 1-byte text up to a stop character a machine word at a time: the formatter's hot path for
// plain format text and for ASCII strings.
#pragma once
#include "uefi/base_types.h"

namespace narrow_copy {

typedef UINTN __attribute__((may_alias)) SourceWord;             // read aligned
typedef UINTN __attribute__((may_alias, aligned(1))) TargetWord;  // written at any alignment

constexpr UINTN kOnes = ~static_cast<UINTN>(0) / 0xFF;  // 0x01 in every byte
constexpr UINTN kHighs = kOnes * 0x80;                  // 0x80 in every byte

// Bytes that stop a copy, tested one at a time and a word at a time. A word test may also fire on a word
// without a stop byte (that word is then done byte by byte), never miss one.
struct StopAtNul {
  static bool Byte(UINT8 C) { return C == 0; }
  static bool Word(UINTN W) { return ((W - kOnes) & ~W & kHighs) != 0; }
};

// Plain format text ends at NUL, '%', LF or CR. The word test fires on any byte below 0x0E or equal to '%'.
struct StopAtFormatSpecial {
  static bool Byte(UINT8 C) { return C <= '%' && (C == '%' || C == 0 || C == '\n' || C == '\r'); }
  static bool Word(UINTN W) {
    UINTN Percent = W ^ (kOnes * '%');
    return ((((W - kOnes * 0x0E) & ~W) | ((Percent - kOnes) & ~Percent)) & kHighs) != 0;
  }
};

// Copies bytes from From to To until a stop byte or Room bytes, and returns the number copied. Whole
// words are read only at word-aligned addresses, so a read runs at most a word's width minus one bytes
// past the stop byte and never into another page; such reads are outside the text as the language sees
// it, hence the sanitizer exemption.
template <typename Stop>
__attribute__((no_sanitize_address)) UINTN CopyUntil(UINT8 *To, const UINT8 *From, UINTN Room) {
  constexpr UINTN kWord = sizeof(UINTN);
  UINTN N = 0;
  for (; N < Room && (reinterpret_cast<UINTN>(From + N) & (kWord - 1)) != 0; ++N) {
    if (Stop::Byte(From[N])) return N;
    To[N] = From[N];
  }
  for (; Room - N >= kWord; N += kWord) {
    UINTN Word = *reinterpret_cast<const SourceWord *>(From + N);
    if (Stop::Word(Word)) break;
    *reinterpret_cast<TargetWord *>(To + N) = Word;
  }
  for (; N < Room && !Stop::Byte(From[N]); ++N) To[N] = From[N];
  return N;
}

}  // namespace narrow_copy
