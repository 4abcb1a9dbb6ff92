// Text reports of what the driver left in the HII database and in its setup configuration image.
#include "sim/dxe/hii_report.h"

#include <cstdio>

#include "sim/common/hex_text.h"
#include "sim/dxe/hii_string_package.h"
#include "sim/dxe/protocol_names.h"
#include "sim/dxe/setup_variables.h"

namespace sim {
namespace {

std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

}  // namespace

std::string DescribeHiiPackageLists(const HiiDatabase& hii) {
  std::string out = "HII package lists: " + std::to_string(hii.PackageLists().size()) + "\n";
  for (const auto& list : hii.PackageLists()) {
    out += "  Package list " + GuidToString(list->guid) + ": " + std::to_string(list->bytes.size()) +
           " bytes (PackageLength), " + std::to_string(list->packages.size()) + " package(s) and the end package\n";
    for (const HiiPackage& package : list->packages) {
      out += "    Package type " + Hex(package.type, 2) + ", " + std::to_string(package.bytes.size()) + " bytes\n";
      if (package.type != EFI_HII_PACKAGE_STRINGS) continue;
      HiiStringPackageInfo info;
      std::string problem = ParseHiiStringPackage(package.bytes.data(), package.bytes.size(), &info);
      if (!problem.empty()) {
        out += "      malformed: " + problem + "\n";
        continue;
      }
      std::string name = info.strings.count(info.language_name) ? Utf8FromUcs2(info.strings[info.language_name]) : "?";
      out += "      Language " + info.language + " (\"" + name + "\", string " + std::to_string(info.language_name) +
             "), " + std::to_string(info.strings.size()) + " strings\n";
      for (const auto& [id, text] : info.strings) {
        out += "      " + Padded(std::to_string(id), 4) + "\"" + Utf8FromUcs2(text) + "\"\n";
      }
    }
  }
  return out;
}

std::string DescribeSetupImage(const VariableStore& store, const uint8_t* image, size_t size) {
  std::vector<std::pair<bool, size_t>> sizes;
  for (const SetupVariable& v : SetupVariables()) {
    const StoredVariable* stored = store.Find(v.name, v.vendor);
    sizes.push_back({stored != nullptr, stored ? stored->data.size() : 0});
  }
  std::string out = "Setup configuration image: " + std::to_string(size) + " bytes\n";
  std::vector<uint8_t> expected(kSetupImageSize, 0);
  for (const SetupPlacement& p : PlaceSetupVariables(sizes)) {
    std::string state;
    if (!p.present) {
      state = "absent: zero";
    } else if (p.zeroed) {
      state = "larger than expected (" + std::to_string(p.stored_size) + " bytes): zero";
    } else if (p.stored_size < p.variable->size) {
      state = "short (" + std::to_string(p.stored_size) + " of " + std::to_string(p.variable->size) + " bytes)";
    } else {
      state = "present";
    }
    out += "  " + Padded(VariableNameToString(p.variable->name), 28) + " offset " +
           Padded(std::to_string(p.offset), 5) + " " + Padded(std::to_string(p.length), 5) + " bytes  " + state + "\n";
    if (!p.zeroed) {
      const StoredVariable* stored = store.Find(p.variable->name, p.variable->vendor);
      std::copy(stored->data.begin(), stored->data.begin() + p.length, expected.begin() + p.offset);
    }
  }
  size_t differs = 0;
  while (differs < size && differs < expected.size() && image[differs] == expected[differs]) ++differs;
  if (size != kSetupImageSize) {
    out += "  the image is " + std::to_string(size) + " bytes, not " + std::to_string(kSetupImageSize) + "\n";
  } else if (differs == size) {
    out += "  the image holds exactly these variables\n";
  } else {
    out += "  the image differs from the variables first at offset " + std::to_string(differs) + "\n";
  }
  return out;
}

}  // namespace sim
