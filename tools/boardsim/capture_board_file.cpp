// The board file of a machine capture and the files it names.
#include "tools/boardsim/capture_board_file.h"

#include <cstdio>
#include <fstream>

namespace boardsim {

namespace {

namespace fs = std::filesystem;

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) continue;
    out += c;
  }
  return out + "\"";
}

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

bool WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes, std::ostream& err) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) err << "boardsim capture: cannot write " << path.string() << " (check the disk has room)\n";
  return static_cast<bool>(file);
}

}  // namespace

std::string CapturedFunctionStem(const sim::PciLocation& at) {
  char text[32];
  std::snprintf(text, sizeof text, "pci/%04x-%02x-%02x.%x", at.segment, at.bus, at.device, at.function);
  return text;
}

std::string CaptureBoardText(const MachineCapture& capture) {
  std::string t;
  t += "# A capture of the machine " + Quoted(capture.host_name) + ", made by `boardsim capture`.\n";
  t += "# The configuration spaces (and VPD) of its PCI functions from sysfs and its SMBIOS table are in the files\n";
  t += "# beside this one. Run the driver on it with `boardsim smbios --board <this file>`.\n";
  if (!capture.notes.empty()) {
    t += "# Not captured:\n";
    for (const std::string& note : capture.notes) t += "#   " + note + "\n";
  }
  t += "name: " + Quoted("capture of " + capture.host_name) + "\n\n";

  t += "pcd:\n";
  t += "  ecam_base: " + Hex(capture.ecam_base.value_or(0x80000000)) +
       (capture.ecam_base ? "  # segment 0 in the ACPI MCFG table\n" : "  # the MCFG table was not read\n");
  t += "  # No socket_bus_layout (token 30): a capture cannot tell which root bus is which socket's I/O stack, so\n";
  t += "  # the driver finds no slot root ports. Add it as in boards/default.yaml to have the slots probed.\n\n";

  if (capture.dmi_entry_point.empty()) {
    t += "# No SMBIOS table was captured: the driver runs on an empty table.\n\n";
  } else {
    t += "smbios:\n  sysfs: dmi  # smbios_entry_point and DMI of /sys/firmware/dmi/tables\n\n";
  }

  if (capture.functions.empty()) {
    t += "# No PCI functions were captured.\n";
    return t;
  }
  t += "pci:\n  functions:\n";
  for (const CapturedFunction& f : capture.functions) {
    char at[24];
    std::snprintf(at, sizeof at, "%04x:%02x:%02x.%x", f.at.segment, f.at.bus, f.at.device, f.at.function);
    const std::string stem = CapturedFunctionStem(f.at);
    t += "    - {at: \"" + std::string(at) + "\", config: " + stem + ".config";
    if (!f.vpd.empty()) t += ", vpd: {file: " + stem + ".vpd}";
    t += "}  # " + std::to_string(f.config.size()) + " bytes\n";
  }
  return t;
}

bool WriteCaptureBoard(const MachineCapture& capture, const std::filesystem::path& dir, std::ostream& err) {
  std::error_code ec;
  if (fs::exists(dir / "board.yaml", ec)) {
    err << "boardsim capture: " << (dir / "board.yaml").string()
        << " already exists (remove the old capture or give another --out DIR)\n";
    return false;
  }
  fs::create_directories(dir / "pci", ec);
  if (!ec && !capture.dmi_entry_point.empty()) fs::create_directories(dir / "dmi", ec);
  if (ec) {
    err << "boardsim capture: cannot create " << dir.string() << ": " << ec.message()
        << " (give a --out DIR you may write)\n";
    return false;
  }
  for (const CapturedFunction& f : capture.functions) {
    const std::string stem = CapturedFunctionStem(f.at);
    if (!WriteBytes(dir / (stem + ".config"), f.config, err)) return false;
    if (!f.vpd.empty() && !WriteBytes(dir / (stem + ".vpd"), f.vpd, err)) return false;
  }
  if (!capture.dmi_entry_point.empty()) {
    if (!WriteBytes(dir / "dmi/smbios_entry_point", capture.dmi_entry_point, err)) return false;
    if (!WriteBytes(dir / "dmi/DMI", capture.dmi_table, err)) return false;
  }
  const std::string text = CaptureBoardText(capture);
  return WriteBytes(dir / "board.yaml", std::vector<uint8_t>(text.begin(), text.end()), err);
}

}  // namespace boardsim
