// Random status codes to the host-linked PEI module and to the built PEI image in the emulator: up to four codes
// of any type, value and instance, with or without a caller GUID, each with no record, a debug record (level,
// format, packed arguments), an assertion record, a string record or a record of another type, on a usable or
// an unusable trace hub. Invariant: both make the same bus accesses (address, width, value, in order), return
// the same statuses and leave the same violations; the image never faults.
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "tools/boardsim/trace_command.h"

namespace {

std::string Text(fuzz::FuzzInput& in, size_t max) {
  const std::vector<uint8_t> bytes = in.Sized(max);
  std::string text(bytes.begin(), bytes.end());
  return text.substr(0, text.find('\0'));
}

boardsim::TraceCode Code(fuzz::FuzzInput& in) {
  boardsim::TraceCode code;
  const uint32_t classes[] = {1, 2, 3, 0x90000002u};
  code.type = in.Bit() ? classes[in.Below(4)] | (static_cast<uint32_t>(in.U8()) << 24) : in.U32();
  code.value = in.Bit() ? (in.U32() & 0xFFFF0000u) | 7 : in.U32();
  code.instance = in.U32();
  if (in.Bit()) {
    EFI_GUID guid;
    const std::vector<uint8_t> b = in.Bytes(sizeof guid);
    std::memcpy(&guid, b.data(), b.size());
    code.caller = guid;
  }
  switch (in.Below(5)) {
    case 0: break;
    case 1:
      code.data = boardsim::TraceCode::Data::Debug;
      code.debug_level = in.Bit() ? 0x80000000u >> in.Below(32) : in.U32();
      code.format = Text(in, 96);
      for (unsigned n = in.Below(8); n-- > 0;) {
        code.args.push_back(in.Bit() ? sim::DebugArgument::Int32(in.U32())
                                     : in.Bit() ? sim::DebugArgument::Int64(in.U64())
                                                : sim::DebugArgument::String(Text(in, 32)));
      }
      break;
    case 2:
      code.data = boardsim::TraceCode::Data::Assertion;
      code.file = Text(in, 64);
      code.line = in.U32();
      code.text = Text(in, 64);
      break;
    case 3:
      code.data = boardsim::TraceCode::Data::String;
      code.text = Text(in, 128);
      code.string_type = in.Below(3);
      break;
    default: {
      code.data = boardsim::TraceCode::Data::Other;
      const std::vector<uint8_t> g = in.Bytes(sizeof code.record_guid);
      std::memcpy(&code.record_guid, g.data(), g.size());
      code.record_bytes = in.Sized(64);
    }
  }
  return code;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* image = std::getenv("PEI_IMAGE_FILE");
  if (image == nullptr) image = PEI_IMAGE_DEFAULT;
  fuzz::FuzzInput in(data, size);
  boardsim::TraceOptions options;
  options.hub_disabled = in.U8() == 0xFF;
  if (in.U8() == 0xFE) options.pmc_vanishes_after = in.Below(40);
  std::vector<boardsim::TraceCode> codes;
  for (unsigned n = 1 + in.Below(4); n-- > 0;) codes.push_back(Code(in));
  const sim::TracePlatformConfig config = boardsim::TracePlatformOf(options, 0);

  const boardsim::TraceRun host = boardsim::RunTrace(codes, config);
  std::string error;
  const boardsim::TraceRun emulated = boardsim::RunTraceImage(codes, config, image, error);
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
