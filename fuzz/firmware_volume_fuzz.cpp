// The firmware volume reader on any bytes, and the module lookup and dependency evaluation on what it accepts.
// Invariants: a refusal names an offset; an accepted volume's files lie in order inside it, every section's data
// inside its file, every dependency expression evaluates (with PUSH answered from the input) without reading past
// its section.
#include <cstdint>
#include <cstring>
#include <string>

#include "firmware/fv/dependency_expression.h"
#include "firmware/fv/module_file.h"
#include "firmware/fv/volume_reader.h"
#include "fuzz/support/fuzz_check.h"
#include "uefi/pi_ffs_file.h"
#include "uefi/pi_ffs_section.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const fv::VolumeReadResult r = fv::ReadVolume(bytes);
  if (!r.volume) {
    FUZZ_REQUIRE(r.error.rfind("offset 0x", 0) == 0, r.error);
    return 0;
  }
  const fv::FirmwareVolume& v = *r.volume;
  FUZZ_REQUIRE(v.length == size, "the volume's length is the input's");
  uint64_t previous_end = 0;
  for (const fv::FvFile& f : v.files) {
    FUZZ_REQUIRE(f.offset >= previous_end && f.offset >= v.header_length, "files in order after the header");
    FUZZ_REQUIRE(f.offset + uint64_t{f.size} <= size && f.size >= f.header_size, "a file inside the volume");
    previous_end = f.offset + uint64_t{f.size};
    for (const fv::FvSection& s : f.sections) {
      FUZZ_REQUIRE(s.offset >= f.offset + f.header_size, "a section after its file's header");
      FUZZ_REQUIRE(s.data.data() >= data + s.offset && s.data.data() + s.data.size() <= data + f.offset + f.size,
                   "a section's data inside its file");
      if (s.type == EFI_SECTION_DXE_DEPEX || s.type == EFI_SECTION_PEI_DEPEX) {
        // PUSH answered by the GUID's first byte, so both outcomes are reached.
        const fv::DepexOutcome o = fv::EvaluateDepex(s.data, [](const EFI_GUID& g) { return (g.Data1 & 1) != 0; });
        FUZZ_REQUIRE(!(o.satisfied && o.schedule_on_request), "a schedule-on-request expression is not dispatched");
        (void)fv::DescribeDepex(s.data);
      }
    }
    if (f.type == EFI_FV_FILETYPE_PEIM || f.type == EFI_FV_FILETYPE_DRIVER) {
      std::string error;
      const std::optional<fv::ModuleFile> m = fv::FindModule(v, f.name, f.type, error);
      if (m) {
        FUZZ_REQUIRE(m->image.data() == data + m->image_offset, "the image offset names the image's bytes");
      } else {
        FUZZ_REQUIRE(!error.empty(), "a module that is not found says why");
      }
    }
  }
  return 0;
}
