// module_volume: writes the firmware volume of both modules from their built images and prints its layout.
//   module_volume DRIVER.efi PEIM.efi OUT.fv [BASE]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "firmware/fv/dependency_expression.h"
#include "firmware/fv/module_volume.h"
#include "firmware/fv/volume_reader.h"

namespace {

bool ReadFile(const char* path, std::vector<uint8_t>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: %s DRIVER.efi PEIM.efi OUT.fv [BASE]\n", argv[0]);
    return 2;
  }
  std::vector<uint8_t> driver, peim;
  for (int i = 1; i <= 2; ++i) {
    if (!ReadFile(argv[i], i == 1 ? driver : peim)) {
      std::fprintf(stderr, "module_volume: cannot read %s\n", argv[i]);
      return 1;
    }
  }
  const uint64_t base = argc == 5 ? std::strtoull(argv[4], nullptr, 0) : fv::kModuleVolumeBase;
  std::string error;
  const fv::ModuleVolume volume = fv::BuildModuleVolume(driver, peim, base, error);
  if (volume.bytes.empty()) {
    std::fprintf(stderr, "module_volume: %s\n", error.c_str());
    return 1;
  }
  // What was written must read back.
  const fv::VolumeReadResult check = fv::ReadVolume(volume.bytes);
  if (!check.volume) {
    std::fprintf(stderr, "module_volume: the written volume does not read back: %s\n", check.error.c_str());
    return 1;
  }
  std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(volume.bytes.data()), static_cast<std::streamsize>(volume.bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "module_volume: cannot write %s\n", argv[3]);
    return 1;
  }
  std::printf("%s: %zu bytes at base 0x%llX; PEI module executes in place at 0x%llX\n", argv[3], volume.bytes.size(),
              static_cast<unsigned long long>(base), static_cast<unsigned long long>(volume.peim_image_base));
  for (const fv::PlacedFile& f : volume.files) {
    std::printf("  0x%06X %7u bytes  %-8s %s %s", f.offset, f.size, fv::FileTypeName(f.type).c_str(),
                fv::GuidString(f.name).c_str(), f.what.c_str());
    if (f.image_offset != 0) std::printf(" (PE32 image at 0x%06X)", f.image_offset);
    std::printf("\n");
  }
  return 0;
}
