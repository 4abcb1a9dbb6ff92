// Reading the machine's sysfs and firmware tables for a capture. Reads stop at the size a file may hold, so a
// device file that never ends cannot make the capture run away.
#include "tools/boardsim/machine_capture.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/pci/config_space.h"

namespace boardsim {

namespace {

namespace fs = std::filesystem;

constexpr size_t kVpdSpaceSize = 0x8000;             // the 15-bit VPD address space
constexpr size_t kDmiTableLimit = 16 * 1024 * 1024;  // far above any real table
constexpr size_t kMcfgLimit = 64 * 1024;

struct FileRead {
  std::vector<uint8_t> bytes;
  int error = 0;  // errno of the open or of a failed read (bytes then hold what came before it)
};

FileRead ReadUpTo(const fs::path& path, size_t limit) {
  FileRead read;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    read.error = errno;
    return read;
  }
  read.bytes.resize(limit);
  size_t have = 0;
  while (have < limit) {
    ssize_t n = ::read(fd, read.bytes.data() + have, limit - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) read.error = errno;
    if (n <= 0) break;
    have += static_cast<size_t>(n);
  }
  ::close(fd);
  read.bytes.resize(have);
  return read;
}

std::string ErrorText(int error) { return std::strerror(error); }

// "0000:00:1c.4" as sysfs names a function.
std::optional<sim::PciLocation> ParseSysfsName(const std::string& name) {
  unsigned segment = 0, bus = 0, device = 0, function = 0;
  char tail = 0;
  if (std::sscanf(name.c_str(), "%4x:%2x:%2x.%1x%c", &segment, &bus, &device, &function, &tail) != 4) return {};
  if (device > 31 || function > 7) return {};
  return sim::PciLocation{static_cast<uint16_t>(segment), static_cast<uint8_t>(bus), static_cast<uint8_t>(device),
                          static_cast<uint8_t>(function)};
}

bool HasVpdCapability(const std::vector<uint8_t>& config) {
  if (config.size() < sim::kPciCompatibleSpaceSize) return false;
  for (const auto& entry : sim::WalkCapabilities(config).entries) {
    if (entry.id == sim::kPciCapabilityVpd) return true;
  }
  return false;
}

void CaptureFunction(const fs::path& dir, const sim::PciLocation& at, bool as_root, MachineCapture& capture) {
  const std::string name = dir.filename().string();
  const FileRead config = ReadUpTo(dir / "config", sim::kPciConfigSpaceSize);
  if (config.bytes.size() < 64) {
    capture.notes.push_back(
        name + ": configuration space unreadable (" +
        (config.error ? ErrorText(config.error) : std::to_string(config.bytes.size()) + " bytes returned, 64 needed") +
        "): function left out");
    return;
  }
  CapturedFunction function;
  function.at = at;
  const size_t size = config.bytes.size() >= 4096 ? 4096 : config.bytes.size() >= 256 ? 256 : 64;
  function.config.assign(config.bytes.begin(), config.bytes.begin() + static_cast<std::ptrdiff_t>(size));
  std::error_code ec;
  const uintmax_t file_size = fs::file_size(dir / "config", ec);
  if (!ec && file_size > size) {
    capture.notes.push_back(name + ": configuration space: " + std::to_string(size) + " of " +
                            std::to_string(file_size) + " bytes read (" +
                            (as_root ? std::string("the kernel returned no more")
                                     : std::string("not root: the kernel gives the bytes past 64 to root only")) +
                            ")");
  }
  if (fs::exists(dir / "vpd", ec)) {
    const FileRead vpd = ReadUpTo(dir / "vpd", kVpdSpaceSize);
    if (vpd.bytes.empty()) {
      capture.notes.push_back(name + ": VPD unreadable (" +
                              (vpd.error ? ErrorText(vpd.error) : std::string("the device returned no bytes")) +
                              (!as_root && vpd.error == EACCES ? "; not root" : "") + ")");
    } else if (!HasVpdCapability(function.config)) {
      capture.notes.push_back(
          name + ": VPD read, but the captured configuration bytes show no VPD capability: " + "VPD left out");
    } else {
      function.vpd = vpd.bytes;
      if (vpd.error)
        capture.notes.push_back(name + ": VPD: " + std::to_string(vpd.bytes.size()) + " bytes read, then " +
                                ErrorText(vpd.error));
    }
  }
  capture.functions.push_back(std::move(function));
}

void CapturePci(const fs::path& root, bool as_root, MachineCapture& capture) {
  const fs::path devices = root / "sys/bus/pci/devices";
  std::error_code ec;
  if (!fs::is_directory(devices, ec)) {
    capture.notes.push_back("no PCI functions: " + devices.string() + " is missing (no PCI bus, or sysfs not mounted)");
    return;
  }
  std::vector<std::pair<sim::PciLocation, fs::path>> found;
  for (const fs::directory_entry& entry : fs::directory_iterator(devices, ec)) {
    const std::string name = entry.path().filename().string();
    if (std::optional<sim::PciLocation> at = ParseSysfsName(name)) found.emplace_back(*at, entry.path());
    else capture.notes.push_back(devices.string() + "/" + name + ": not a PCI function name: left out");
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [at, dir] : found) CaptureFunction(dir, at, as_root, capture);
  if (found.empty()) capture.notes.push_back("no PCI functions: " + devices.string() + " is empty");
}

void CaptureDmi(const fs::path& root, bool as_root, MachineCapture& capture) {
  const fs::path tables = root / "sys/firmware/dmi/tables";
  std::error_code ec;
  if (!fs::is_directory(tables, ec)) {
    capture.notes.push_back("no SMBIOS table: " + tables.string() +
                            " is missing (the firmware gave the kernel no SMBIOS entry point)");
    return;
  }
  const FileRead entry = ReadUpTo(tables / "smbios_entry_point", 64);
  const FileRead table = ReadUpTo(tables / "DMI", kDmiTableLimit);
  if (entry.bytes.empty() || table.bytes.empty()) {
    const int error = entry.bytes.empty() ? entry.error : table.error;
    capture.notes.push_back("no SMBIOS table: " + tables.string() + "/" +
                            (entry.bytes.empty() ? "smbios_entry_point" : "DMI") + " unreadable (" +
                            (error ? ErrorText(error) : std::string("empty")) +
                            (!as_root && error == EACCES ? "; not root: the kernel lets root only read it" : "") + ")");
    return;
  }
  capture.dmi_entry_point = entry.bytes;
  capture.dmi_table = table.bytes;
}

void CaptureEcamBase(const fs::path& root, bool as_root, MachineCapture& capture) {
  const fs::path mcfg = root / "sys/firmware/acpi/tables/MCFG";
  const FileRead table = ReadUpTo(mcfg, kMcfgLimit);
  capture.ecam_base = McfgSegment0Base(table.bytes);
  if (capture.ecam_base) return;
  std::string why = table.bytes.empty() && table.error == ENOENT ? "missing"
                    : table.bytes.empty()                        ? "unreadable (" + ErrorText(table.error) +
                                                (!as_root && table.error == EACCES ? "; not root" : "") + ")"
                                          : "without an entry for segment 0";
  capture.notes.push_back("PCI Express configuration base: " + mcfg.string() + " " + why +
                          ": the board keeps the default 0x80000000");
}

}  // namespace

std::optional<uint64_t> McfgSegment0Base(const std::vector<uint8_t>& table) {
  constexpr size_t kHeader = 36 + 8;  // ACPI table header, reserved
  constexpr size_t kEntry = 16;       // base (8), segment (2), start bus, end bus, reserved (4)
  if (table.size() < kHeader || std::memcmp(table.data(), "MCFG", 4) != 0) return {};
  uint32_t length = 0;
  std::memcpy(&length, table.data() + 4, 4);
  const size_t end = std::min<size_t>(length, table.size());
  for (size_t at = kHeader; at + kEntry <= end; at += kEntry) {
    uint64_t base = 0;
    uint16_t segment = 0;
    std::memcpy(&base, table.data() + at, 8);
    std::memcpy(&segment, table.data() + at + 8, 2);
    // The base is where bus 0 would sit, also for an entry that starts at a later bus.
    if (segment == 0) return base;
  }
  return {};
}

MachineCapture CaptureMachine(const std::filesystem::path& root, bool as_root) {
  MachineCapture capture;
  const FileRead host = ReadUpTo(root / "proc/sys/kernel/hostname", 256);
  capture.host_name.assign(host.bytes.begin(), host.bytes.end());
  while (!capture.host_name.empty() && (capture.host_name.back() == '\n' || capture.host_name.back() == '\0'))
    capture.host_name.pop_back();
  if (capture.host_name.empty()) capture.host_name = "this machine";
  CapturePci(root, as_root, capture);
  CaptureDmi(root, as_root, capture);
  CaptureEcamBase(root, as_root, capture);
  return capture;
}

}  // namespace boardsim
