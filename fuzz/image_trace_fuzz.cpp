// Random status codes to the host-linked PEI module and to the built PEI image in the emulator: up to four codes
// of any type, value and instance, with or without a caller GUID, each with no record, a debug record (level,
// format, packed arguments), an assertion record, a string record or a record of another type, on a usable or
// an unusable trace hub. The formatter cannot tell a number from a pointer in a packed list, so the harness
// writes each debug format together with its arguments: a conversion that reads memory gets a string argument
// long enough for what it reads, any other conversion a number. Invariant: both make the same bus accesses (address, width, value, in order), return
// the same statuses and leave the same violations; the image never faults. One emulator serves every input (restored
// to its snapshot and moved to the input's platform), and the image's blocks are fuzzer feedback.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "fuzz/support/image_block_counters.h"
#include "sim/image/peim_image_run.h"
#include "tools/boardsim/trace_command.h"

namespace {

std::string Text(fuzz::FuzzInput& in, size_t max) {
  const std::vector<uint8_t> bytes = in.Sized(max);
  std::string text(bytes.begin(), bytes.end());
  return text.substr(0, text.find('\0'));
}

// Text that ends in a zero 16-bit character as well as a NUL byte, and holds at least `least` bytes, so that
// reading it as UCS-2, as a GUID or as a time record stays inside it.
std::string Readable(std::string text, size_t least) {
  if (text.size() % 2) text.push_back('\0');
  text.push_back('\0');
  if (text.size() < least) text.resize(least, '\0');
  return text;
}

// A debug format of up to eight pieces (plain text, then a conversion with fuzzed modifiers) and the
// arguments its conversions take, each of the kind the conversion reads.
void DebugFormat(fuzz::FuzzInput& in, boardsim::TraceCode& code) {
  static const char kNumberConversions[] = "cdduxXrp";
  static const char kMemoryConversions[] = "asSgt";
  static const char kOtherConversions[] = "%q\n\rz";
  static const char kFlags[] = "-+ ,0";
  // A piece takes at most 16 bytes of the list (two '*' and a 64-bit number); the list holds 96.
  for (unsigned n = in.Below(7); n-- > 0;) {
    std::string plain = Text(in, 12);
    plain.erase(std::remove(plain.begin(), plain.end(), '%'), plain.end());
    code.format += plain + '%';
    for (unsigned f = in.Below(3); f-- > 0;) code.format += kFlags[in.Below(sizeof kFlags - 1)];
    for (int part = 0; part < 2; ++part) {  // width, then precision
      if (part == 1) {
        if (!in.Bit()) break;
        code.format += '.';
      }
      switch (in.Below(3)) {
        case 0: break;
        case 1: code.format += std::to_string(in.Below(part == 0 ? 300 : 40)); break;
        default:
          code.format += '*';
          code.args.push_back(sim::DebugArgument::Int32(in.Bit() ? in.Below(300) : in.U32()));
      }
    }
    const bool wide = in.Bit();
    if (wide) code.format += 'l';
    switch (in.Below(3)) {
      case 0: {
        const char c = kNumberConversions[in.Below(sizeof kNumberConversions - 1)];
        code.format += c;
        const bool number64 = wide && c != 'c' && c != 'r' && c != 'p';
        code.args.push_back(number64 ? sim::DebugArgument::Int64(in.U64()) : sim::DebugArgument::Int32(in.U32()));
        break;
      }
      case 1: {
        const char c = kMemoryConversions[in.Below(sizeof kMemoryConversions - 1)];
        code.format += c;
        code.args.push_back(sim::DebugArgument::String(Readable(Text(in, 32), c == 'g' ? 16 : c == 't' ? 8 : 0)));
        break;
      }
      default: code.format += kOtherConversions[in.Below(sizeof kOtherConversions - 1)];
    }
  }
  if (in.Bit()) code.format += '\n';
}

boardsim::TraceCode Code(fuzz::FuzzInput& in) {
  boardsim::TraceCode code;
  const uint32_t classes[] = {1, 2, 3, 0x90000002u};
  code.type = in.Bit() ? classes[in.Below(4)] | (static_cast<uint32_t>(in.U8()) << 24) : in.U32();
  code.value = in.Bit() ? (in.U32() & 0xFFFF0000u) | 7 : in.U32();
  code.instance = in.U32();
  if (in.Bit()) {
    EFI_GUID guid;
    std::vector<uint8_t> b = in.Bytes(sizeof guid);
    b.resize(sizeof guid);
    std::memcpy(&guid, b.data(), b.size());
    code.caller = guid;
  }
  switch (in.Below(5)) {
    case 0: break;
    case 1:
      code.data = boardsim::TraceCode::Data::Debug;
      code.debug_level = in.Bit() ? 0x80000000u >> in.Below(32) : in.U32();
      DebugFormat(in, code);
      break;
    case 2:
      code.data = boardsim::TraceCode::Data::Assertion;
      code.file = Text(in, 64);
      code.line = in.U32();
      code.text = Text(in, 64);
      break;
    case 3:
      code.data = boardsim::TraceCode::Data::String;
      code.text = Readable(Text(in, 128), 0);
      code.string_type = in.Below(3);
      break;
    default: {
      code.data = boardsim::TraceCode::Data::Other;
      std::vector<uint8_t> g = in.Bytes(sizeof code.record_guid);
      g.resize(sizeof code.record_guid);
      std::memcpy(&code.record_guid, g.data(), g.size());
      code.record_bytes = in.Sized(64);
    }
  }
  return code;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* image = std::getenv("PEI_IMAGE_FILE");
  if (image == nullptr) image = PEI_IMAGE;
  fuzz::CountImageBlocks();
  static std::unique_ptr<sim::PeimImageRun> reused;
  fuzz::FuzzInput in(data, size);
  boardsim::TraceOptions options;
  options.hub_disabled = in.U8() == 0xFF;
  if (in.U8() == 0xFE) options.pmc_vanishes_after = in.Below(40);
  std::vector<boardsim::TraceCode> codes;
  for (unsigned n = 1 + in.Below(4); n-- > 0;) codes.push_back(Code(in));
  const sim::TracePlatformConfig config = boardsim::TracePlatformOf(options, 0);

  const boardsim::TraceRun host = boardsim::RunTrace(codes, config);
  std::string error;
  const boardsim::TraceRun emulated = boardsim::RunTraceImage(codes, config, image, error, &reused);
  FUZZ_REQUIRE(error.empty(), error);
  FUZZ_REQUIRE(emulated.entry_status == host.entry_status, "entry status");
  FUZZ_REQUIRE(emulated.violations == host.violations,
               emulated.violations.empty() ? std::string("the host saw a violation") : emulated.violations.front());
  FUZZ_REQUIRE(emulated.results.size() == host.results.size(), "codes reported");
  for (size_t i = 0; i < host.results.size(); ++i) {
    FUZZ_REQUIRE(emulated.results[i].statuses == host.results[i].statuses, "statuses of code " + std::to_string(i));
  }
  const size_t common = std::min(host.accesses.size(), emulated.accesses.size());
  for (size_t i = 0; i < common; ++i) {
    FUZZ_REQUIRE(emulated.accesses[i] == host.accesses[i], "bus access " + std::to_string(i) + " differs");
  }
  FUZZ_REQUIRE(emulated.accesses.size() == host.accesses.size(), "number of bus accesses");
  return 0;
}
