// Status-code data records through the listener: any code type, value, instance and caller GUID, with no
// record, a debug record (level, packed list, format), an assertion record, a string record or a record of
// another type. Invariants: the listener returns success; exactly one well-formed SyS-T message on channel
// 32/14 (none for a debug level the mask drops) with a text of at most 2047 characters; a debug message's text
// is the format's text; and the simulated platform saw no violation (no access outside its devices).
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "fuzz/support/pointer_pool.h"
#include "sim/pei/status_code_records.h"
#include "sim/pei/syst_decoder.h"
#include "sim/pei/trace_platform.h"
#include "trace/format/format_text.h"
#include "trace/listener/peim_entry.h"
#include "trace/listener/status_code_listener.h"
#include "trace/listener/status_code_records.h"
#include "uefi/status.h"

namespace {

constexpr unsigned kMaster = 32, kChannel = 14;

std::string TextOf(const std::vector<uint8_t>& bytes) {
  std::string text(bytes.begin(), bytes.end());
  return text.substr(0, text.find('\0'));
}

uint32_t CodeType(fuzz::FuzzInput& in) {
  const uint32_t classes[] = {1, 2, 3, 0x90000002u};
  uint8_t pick = in.U8();
  return pick < 0xC0 ? classes[pick % 4] | (static_cast<uint32_t>(in.U8() & 0x01) << 31) : in.U32();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  sim::TracePlatform platform;
  FUZZ_REQUIRE(TraceStatusPeimEntry(nullptr, nullptr) == EFI_SUCCESS, "entry");
  sim::StatusCodeRecordArena& arena = platform.records();

  uint32_t type = CodeType(in);
  uint32_t value = in.Bit() ? (in.U32() & 0xFFFF0000u) | AssertValueOperation : in.U32();
  uint32_t instance = in.U32();
  const EFI_GUID* caller = nullptr;
  if (in.Bit()) {
    EFI_GUID guid;
    std::vector<uint8_t> bytes = in.Bytes(sizeof guid);
    bytes.resize(sizeof guid);
    std::memcpy(&guid, bytes.data(), sizeof guid);
    caller = arena.Guid(guid);
  }

  const void* record = nullptr;
  bool debug = false;
  uint32_t level = 0;
  std::string expected;  // a debug record's text
  uint8_t kind = in.U8() % 5;
  if (kind == 1) {
    debug = true;
    level = in.Bit() ? in.U32() : (in.U8() & 0x7) << 1 | (in.Bit() ? DebugLevelError : 0);
    std::vector<uint8_t> packed = in.Bytes(DebugInfoArgumentsSize);
    packed.resize(DebugInfoArgumentsSize, 0);
    fuzz::PointerPool pool(arena, in.Sized(200));
    pool.MapWords(packed.data(), packed.size());
    std::vector<uint8_t> format = in.Sized(255);
    std::string format_text(format.begin(), format.end());
    record = arena.DebugPacked(level, format_text, packed);
    std::vector<char> text(TraceTextBufferSize);
    format_text = format_text.substr(0, format_text.find('\0'));
    FormatTextPacked(text.data(), text.size(), 0, format_text.c_str(), packed.data(), packed.size());
    expected = text.data();
  } else if (kind == 2) {
    std::vector<uint8_t> file = in.Sized(200);
    uint32_t line = in.U32();
    std::vector<uint8_t> description = in.Sized(200);
    record = arena.Assertion(std::string(file.begin(), file.end()), line,
                             std::string(description.begin(), description.end()));
  } else if (kind == 3) {
    // A string record whose pointer names the pool (the listener trusts it, as it must).
    uint32_t string_type = in.Bit() ? in.U32() : 0;
    fuzz::PointerPool pool(arena, in.Sized(200));
    std::vector<uint8_t> extended(8, 0);
    uint32_t pointer = pool.Address(in.U32() | 1);
    for (int i = 0; i < 4; ++i) {
      extended[i] = static_cast<uint8_t>(string_type >> (8 * i));
      extended[4 + i] = static_cast<uint8_t>(pointer >> (8 * i));
    }
    record = arena.Raw(sim::kStringRecordGuid, extended);
  } else if (kind == 4) {
    EFI_GUID guid;
    std::vector<uint8_t> bytes = in.Bytes(sizeof guid);
    bytes.resize(sizeof guid);
    std::memcpy(&guid, bytes.data(), sizeof guid);
    // Long enough for every fixed offset the listener reads, and NUL-terminated.
    std::vector<uint8_t> extended = in.Sized(200);
    extended.resize(extended.size() < 120 ? 120 : extended.size() + 1, 0);
    record = arena.Raw(guid, extended);
  }

  auto statuses = platform.Report(type, value, instance, caller, record);
  FUZZ_REQUIRE(statuses.size() == 1 && statuses[0] == EFI_SUCCESS, "the listener returns success");
  FUZZ_REQUIRE(platform.violations().Empty(), platform.violations().Joined());

  auto messages = sim::DecodeSystMessages(platform.hub().ChannelWrites(kMaster, kChannel));
  // An assertion code wins over the record's type.
  bool assertion = record != nullptr && (type & 0xFF) == 2 && (type >> 24) == AssertCodeTypeSeverity &&
                   (value & 0xFFFF) == AssertValueOperation;
  debug = debug && !assertion;
  bool dropped = debug && (level & DebugLevelMaskSent) == 0;
  FUZZ_REQUIRE(messages.size() == (dropped ? 0u : 1u), std::to_string(messages.size()) + " messages");
  if (dropped) return 0;
  const sim::SystDecodedMessage& m = messages[0];
  std::string errors;
  for (const auto& e : m.errors) errors += e + "; ";
  FUZZ_REQUIRE(m.errors.empty(), errors);
  FUZZ_REQUIRE(m.severity == 0 || m.severity == 1 || m.severity == 2 || m.severity == 4, "severity");
  std::string text = m.Text();
  FUZZ_REQUIRE(text.size() < TraceTextBufferSize, std::to_string(text.size()) + " characters");
  if (debug) FUZZ_REQUIRE(text == TextOf({expected.begin(), expected.end()}), "debug text \"" + text + "\"");
  return 0;
}
