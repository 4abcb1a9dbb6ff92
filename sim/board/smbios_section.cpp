// Board-file section `smbios`: records in the table before the driver runs. Any type in raw form
// (`data` hex after the 4-byte header, `strings`); friendly forms for types 1, 26-29 and 39. Either a list of
// records, or a map: a captured table (`dump:` a dmidecode --dump-bin file, or `sysfs:` a folder with
// smbios_entry_point and DMI) and `records:` added after its records.
#include <cstring>
#include <set>

#include "sim/board/board_sections.h"
#include "sim/board/captures/capture_files.h"
#include "sim/board/captures/smbios_table_reader.h"
#include "sim/dxe/dxe_platform.h"
#include "sim/dxe/smbios_record_check.h"

namespace sim {

namespace {

// A record under construction: formatted area and string set, fields written little-endian.
class RecordBuilder {
 public:
  RecordBuilder(uint8_t type, uint8_t length) : bytes_(length, 0) { bytes_[0] = type, bytes_[1] = length; }
  void U8(size_t offset, uint64_t v) { bytes_[offset] = static_cast<uint8_t>(v); }
  void U16(size_t offset, uint64_t v) { U8(offset, v), U8(offset + 1, v >> 8); }
  void U32(size_t offset, uint64_t v) { U16(offset, v), U16(offset + 2, v >> 16); }
  // Appends a string and stores its number at offset.
  void String(size_t offset, std::string s) {
    strings_.push_back(std::move(s));
    U8(offset, strings_.size());
  }
  void Bytes(size_t offset, const uint8_t* p, size_t n) { std::memcpy(&bytes_[offset], p, n); }
  BoardSmbiosRecord Finish() { return {bytes_, strings_, std::nullopt, ""}; }

 private:
  std::vector<uint8_t> bytes_;
  std::vector<std::string> strings_;
};

enum class Width { U8, U16, U32, Str };

struct Field {
  const char* key;
  uint8_t offset;
  Width width;
  uint64_t fallback;  // value when the key is absent (strings: absent means no string)
};

struct FriendlyForm {
  uint8_t type;
  uint8_t length;
  std::vector<Field> fields;
};

// Probe layouts (voltage 26, temperature 28, current 29) share one shape; 0x8000 means "unknown".
std::vector<Field> ProbeFields() {
  return {{"description", 0x04, Width::Str, 0},     {"location_and_status", 0x05, Width::U8, 0x63},
          {"maximum", 0x06, Width::U16, 0x8000},    {"minimum", 0x08, Width::U16, 0x8000},
          {"resolution", 0x0A, Width::U16, 0x8000}, {"tolerance", 0x0C, Width::U16, 0x8000},
          {"accuracy", 0x0E, Width::U16, 0x8000},   {"oem_defined", 0x10, Width::U32, 0},
          {"nominal", 0x14, Width::U16, 0x8000}};
}

const std::vector<FriendlyForm>& FriendlyForms() {
  static const std::vector<FriendlyForm> forms = {
      {1,
       0x1B,
       {{"manufacturer", 0x04, Width::Str, 0},
        {"product_name", 0x05, Width::Str, 0},
        {"version", 0x06, Width::Str, 0},
        {"serial_number", 0x07, Width::Str, 0},
        {"wake_up_type", 0x18, Width::U8, 6},
        {"sku_number", 0x19, Width::Str, 0},
        {"family", 0x1A, Width::Str, 0}}},
      {26, 0x16, ProbeFields()},
      {27,
       0x0F,
       {{"temperature_probe_handle", 0x04, Width::U16, 0xFFFF},
        {"device_type_and_status", 0x06, Width::U8, 0x67},
        {"cooling_unit_group", 0x07, Width::U8, 0},
        {"oem_defined", 0x08, Width::U32, 0},
        {"nominal_speed", 0x0C, Width::U16, 0x8000},
        {"description", 0x0E, Width::Str, 0}}},
      {28, 0x16, ProbeFields()},
      {29, 0x16, ProbeFields()},
      {39,
       0x16,
       {{"power_unit_group", 0x04, Width::U8, 1},
        {"location", 0x05, Width::Str, 0},
        {"device_name", 0x06, Width::Str, 0},
        {"manufacturer", 0x07, Width::Str, 0},
        {"serial_number", 0x08, Width::Str, 0},
        {"asset_tag", 0x09, Width::Str, 0},
        {"model_part_number", 0x0A, Width::Str, 0},
        {"revision_level", 0x0B, Width::Str, 0},
        {"max_power_capacity", 0x0C, Width::U16, 0x8000},
        {"characteristics", 0x0E, Width::U16, 0},
        {"input_voltage_probe_handle", 0x10, Width::U16, 0xFFFF},
        {"cooling_device_handle", 0x12, Width::U16, 0xFFFF},
        {"input_current_probe_handle", 0x14, Width::U16, 0xFFFF}}},
  };
  return forms;
}

std::string CheckedString(const YAML::Node& node, const BoardFileContext& c, const std::string& field) {
  std::string s = c.String(node, field);
  if (s.empty()) c.Fail(node, field, "empty string", "write a non-empty text or leave the field out");
  if (s.size() > kSmbiosMaxStringLength) {
    c.Fail(node, field, "string of " + std::to_string(s.size()) + " characters",
           "write at most " + std::to_string(kSmbiosMaxStringLength) + " characters");
  }
  return s;
}

BoardSmbiosRecord ParseRaw(const YAML::Node& r, const BoardFileContext& c, const std::string& field, uint8_t type) {
  c.RequireMap(r, field, {"type", "handle", "data", "strings"});
  std::vector<uint8_t> data = c.HexBytes(r["data"], field + ".data");
  if (data.size() > 251) {
    c.Fail(r["data"], field + ".data", std::to_string(data.size()) + " bytes of fields",
           "write at most 251 bytes (Length is at most 255 with the header)");
  }
  RecordBuilder b(type, static_cast<uint8_t>(4 + data.size()));
  if (!data.empty()) b.Bytes(4, data.data(), data.size());
  BoardSmbiosRecord record = b.Finish();
  if (const YAML::Node strings = r["strings"]) {
    c.RequireSequence(strings, field + ".strings");
    for (size_t i = 0; i < strings.size(); ++i) {
      record.strings.push_back(CheckedString(strings[i], c, field + ".strings[" + std::to_string(i) + "]"));
    }
  }
  return record;
}

BoardSmbiosRecord ParseFriendly(const YAML::Node& r, const BoardFileContext& c, const std::string& field,
                                const FriendlyForm& form) {
  std::vector<const char*> keys = {"type", "handle"};
  if (form.type == 1) keys.push_back("uuid");
  for (const Field& f : form.fields) keys.push_back(f.key);
  // RequireMap takes an initializer list; check the keys here the same way.
  std::string list;
  for (const char* k : keys) list += std::string(list.empty() ? "" : ", ") + k;
  for (auto it = r.begin(); it != r.end(); ++it) {
    bool known = false;
    for (const char* k : keys) known = known || it->first.Scalar() == k;
    if (!known) {
      c.Fail(it->first, field + "." + it->first.Scalar(),
             "unknown key `" + it->first.Scalar() + "` for a type " + std::to_string(form.type) + " record",
             "use one of: " + list + "; or give the record as `data` and `strings`");
    }
  }
  RecordBuilder b(form.type, form.length);
  for (const Field& f : form.fields) {
    const YAML::Node v = r[f.key];
    const std::string path = field + "." + f.key;
    switch (f.width) {
      case Width::U8: b.U8(f.offset, v ? c.Unsigned(v, path, 0xFF) : f.fallback); break;
      case Width::U16: b.U16(f.offset, v ? c.Unsigned(v, path, 0xFFFF) : f.fallback); break;
      case Width::U32: b.U32(f.offset, v ? c.Unsigned(v, path, 0xFFFFFFFF) : f.fallback); break;
      case Width::Str:
        if (v) b.String(f.offset, CheckedString(v, c, path));
        break;
    }
  }
  if (form.type == 1) {
    // SMBIOS stores the first three UUID fields little-endian; absent means all zero.
    EFI_GUID uuid{};
    if (const YAML::Node u = r["uuid"]) uuid = c.Guid(u, field + ".uuid");
    b.Bytes(0x08, reinterpret_cast<const uint8_t*>(&uuid), 16);
  }
  return b.Finish();
}

}  // namespace

namespace {

// The records of a `dump:` or `sysfs:` capture.
std::vector<BoardSmbiosRecord> CapturedTable(const YAML::Node& node, const BoardFileContext& c) {
  if (const YAML::Node dump = node["dump"]) {
    const CaptureFile file = ReadCaptureFile(c, dump, "smbios.dump");
    try {
      return ReadSmbiosDump(file.bytes, file.path);
    } catch (const CaptureError& e) {
      FailBinaryCapture(c, dump, "smbios.dump", file.path, e);
    }
  }
  const YAML::Node sysfs = node["sysfs"];
  const std::string dir = CapturePath(c, c.String(sysfs, "smbios.sysfs"));
  const CaptureFile entry = ReadCaptureFileIn(c, sysfs, "smbios.sysfs", dir, "smbios_entry_point");
  const CaptureFile dmi = ReadCaptureFileIn(c, sysfs, "smbios.sysfs", dir, "DMI");
  try {
    return ReadSmbiosSysfs(entry.bytes, dmi.bytes, dir);
  } catch (const CaptureError& e) {
    FailBinaryCapture(c, sysfs, "smbios.sysfs", dir, e);
  }
}

void ParseRecordList(const YAML::Node& node, const BoardFileContext& c, const std::string& list_field, Board& board) {
  c.RequireSequence(node, list_field);
  std::set<uint16_t> handles;
  std::set<uint16_t> captured_handles;
  for (const BoardSmbiosRecord& captured : board.smbios) captured_handles.insert(*captured.handle);
  for (size_t i = 0; i < node.size(); ++i) {
    const YAML::Node r = node[i];
    const std::string field = list_field + "[" + std::to_string(i) + "]";
    if (!r.IsMap()) c.Fail(r, field, "expected a record mapping", "write `- type: N` followed by its fields");
    if (!r["type"]) c.Fail(r, field + ".type", "missing", "write `type: N` (0..255)");
    const auto type = static_cast<uint8_t>(c.Unsigned(r["type"], field + ".type", 0xFF));
    const FriendlyForm* form = nullptr;
    for (const FriendlyForm& f : FriendlyForms()) {
      if (f.type == type) form = &f;
    }
    BoardSmbiosRecord record;
    if (r["data"]) {
      record = ParseRaw(r, c, field, type);
    } else if (form != nullptr) {
      record = ParseFriendly(r, c, field, *form);
    } else {
      c.Fail(r, field + ".data", "missing for a type " + std::to_string(type) + " record",
             "write `data:` with the formatted area after the 4-byte header in hex (friendly fields exist for "
             "types 1, 26, 27, 28, 29 and 39)");
    }
    if (const YAML::Node h = r["handle"]) {
      const auto handle = static_cast<uint16_t>(c.Unsigned(h, field + ".handle", 0xFEFF));
      if (captured_handles.contains(handle)) {
        c.Fail(h, field + ".handle", "handle " + std::to_string(handle) + " used by a captured record",
               "give each record its own handle or leave `handle` out");
      }
      if (!handles.insert(handle).second) {
        c.Fail(h, field + ".handle", "handle " + std::to_string(handle) + " used by an earlier record",
               "give each record its own handle or leave `handle` out");
      }
      record.handle = handle;
    }
    record.origin = c.Origin(r);
    const std::vector<uint8_t> bytes = BuildSmbiosRecord(record.formatted, record.strings);
    const SmbiosRecordCheck check = CheckSmbiosRecord(bytes.data(), bytes.size());
    if (!check.ok) {
      c.Fail(r, field, "the record is malformed: " + check.problem, "correct the data bytes or the strings list");
    }
    board.smbios.push_back(std::move(record));
  }
}

}  // namespace

void ParseSmbiosSection(const YAML::Node& node, const BoardFileContext& c, Board& board) {
  if (!node.IsMap()) {
    ParseRecordList(node, c, "smbios", board);
    return;
  }
  c.RequireMap(node, "smbios", {"dump", "sysfs", "records"});
  if (node["dump"] && node["sysfs"])
    c.Fail(node["sysfs"], "smbios.sysfs", "both `dump` and `sysfs` given", "give the table one way");
  if (node["dump"] || node["sysfs"]) board.smbios = CapturedTable(node, c);
  if (const YAML::Node records = node["records"]) ParseRecordList(records, c, "smbios.records", board);
}

void ApplySmbiosSection(const Board& board, DxePlatform& platform) {
  // Records go in in file order; those without a fixed handle get the lowest handle no record asks for.
  std::set<uint16_t> taken;
  for (const BoardSmbiosRecord& r : board.smbios) {
    if (r.handle) taken.insert(*r.handle);
  }
  uint16_t next = 0;
  for (const BoardSmbiosRecord& r : board.smbios) {
    EFI_SMBIOS_HANDLE handle;
    if (r.handle) {
      handle = *r.handle;
    } else {
      while (taken.count(next)) ++next;
      handle = next;
      taken.insert(next);
    }
    std::vector<uint8_t> bytes = BuildSmbiosRecord(r.formatted, r.strings);
    if (platform.Smbios().Add(&handle, reinterpret_cast<EFI_SMBIOS_TABLE_HEADER*>(bytes.data())) != EFI_SUCCESS) {
      platform.Violations().Report(r.origin + ": board SMBIOS record could not be added");
    }
  }
}

}  // namespace sim
