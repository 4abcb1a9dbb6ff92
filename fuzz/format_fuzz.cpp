// Formatter format strings with packed argument lists: 8- or 16-bit format and output, any buffer size.
// Invariants: a rejected call writes nothing; otherwise the text is terminated at the returned count, which
// is below the size; nothing past the terminator is touched; the count is the count-only length cut to the
// room; and the text is the start of the same format's text in a large buffer.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "fuzz/support/pointer_pool.h"
#include "trace/format/format_text.h"

namespace {

constexpr uint8_t kUntouched = 0xA5;
constexpr size_t kGuardBytes = 16;
constexpr size_t kLargeChars = 8192;

// Conversion characters whose argument is a pointer.
bool TakesPointer(uint32_t c) { return c == 'a' || c == 's' || c == 'S' || c == 'g' || c == 't'; }

struct Output {
  std::vector<uint8_t> bytes;  // size * char bytes, then guard bytes
  UINT32 count = 0;
};

Output Format(size_t size, UINT32 flags, const std::vector<uint8_t>& format, const std::vector<uint8_t>& packed) {
  size_t char_bytes = (flags & FORMAT_OUTPUT_16BIT) ? 2 : 1;
  Output out;
  out.bytes.assign(size * char_bytes + kGuardBytes, kUntouched);
  // An exact-size copy of the list: with FormatTextPacked nothing may be read past it.
  std::vector<uint8_t> list(packed);
  out.count = FormatTextPacked(out.bytes.data(), size, flags, format.data(), list.data(), list.size());
  return out;
}

uint32_t CharAt(const std::vector<uint8_t>& bytes, size_t index, size_t char_bytes) {
  return char_bytes == 2 ? bytes[2 * index] | (bytes[2 * index + 1] << 8) : bytes[index];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  uint8_t mode = in.U8();
  UINT32 flags = ((mode & 1) ? FORMAT_OUTPUT_16BIT : 0) | ((mode & 2) ? FORMAT_FORMAT_16BIT : 0) |
                 (static_cast<UINT32>(in.U8()) << 24);  // bits the engine ignores
  bool pointers = (mode & 4) != 0;
  size_t out_size = in.U16() % 600;
  std::vector<uint8_t> packed = in.Sized(128);
  std::vector<uint8_t> pool_bytes = in.Sized(255);
  std::vector<uint8_t> format = in.Rest();

  size_t format_char = (flags & FORMAT_FORMAT_16BIT) ? 2 : 1;
  format.resize(format.size() / format_char * format_char);
  sim::StatusCodeRecordArena arena(4096);
  fuzz::PointerPool pool(arena, pool_bytes);
  if (pointers) {
    pool.MapWords(packed.data(), packed.size());
  } else {
    // Raw words: no conversion may take a pointer from them.
    for (size_t at = 0; at < format.size(); at += format_char) {
      uint32_t c = format_char == 2 ? format[at] | (format[at + 1] << 8) : format[at];
      if (TakesPointer(c)) format[at] = 'd';
    }
  }
  format.insert(format.end(), format_char, 0);

  size_t char_bytes = (flags & FORMAT_OUTPUT_16BIT) ? 2 : 1;
  Output small = Format(out_size, flags, format, packed);
  UINT32 full = FormatTextPacked(nullptr, 0, flags | FORMAT_COUNT_ONLY, format.data(), packed.data(), packed.size());

  if (out_size == 0) {
    FUZZ_REQUIRE(small.count == 0, "size 0 is rejected");
    for (uint8_t b : small.bytes) FUZZ_REQUIRE(b == kUntouched, "a rejected call writes nothing");
    return 0;
  }
  UINT32 room = static_cast<UINT32>(out_size - 1);
  FUZZ_REQUIRE(small.count <= room, std::to_string(small.count) + " characters in room for " + std::to_string(room));
  FUZZ_REQUIRE(small.count == (full < room ? full : room),
               "count " + std::to_string(small.count) + ", count-only length " + std::to_string(full));
  FUZZ_REQUIRE(CharAt(small.bytes, small.count, char_bytes) == 0, "terminator at the returned count");
  for (size_t i = (small.count + 1) * char_bytes; i < small.bytes.size(); ++i) {
    FUZZ_REQUIRE(small.bytes[i] == kUntouched, "byte " + std::to_string(i) + " past the terminator written");
  }

  Output large = Format(kLargeChars, flags, format, packed);
  FUZZ_REQUIRE(large.count == (full < kLargeChars - 1 ? full : kLargeChars - 1), "large buffer count");
  FUZZ_REQUIRE(std::memcmp(small.bytes.data(), large.bytes.data(), small.count * char_bytes) == 0,
               "a cut text is the start of the whole text");
  return 0;
}
