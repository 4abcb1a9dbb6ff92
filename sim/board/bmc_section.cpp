// Board-file section `bmc`: the IPMI transport protocol and the BMC behind it, with each power supply's FRU
// image (from fields, checksums computed, or as bytes), its silence, and its script per chunk.
//
//   bmc:
//     send_time_us: 1000            # virtual time of an answered send
//     silent_timeout_us: 1000000    # virtual time of a send the BMC never answers
//     supplies:
//       - supply: 1
//         fru: {manufacturer: ACME, product: PS-800, part: P800, version: A1, serial: SN1, asset_tag: "",
//               capacity: 800, spoil_checksum: none}      # or fru_bytes: "01 01 00 ...", or fru_file: FILE
//         silent: false             # once the scripts are used up, never answer
//         script:
//           - chunk: 1              # 1..4, or all
//             steps: [{busy: 3}, {completion: 2, code: 0xC1}, {error: 1, status: device_error},
//                     {silent: 1}, {corrupt: 5}, {answer: 1}]
#include "sim/board/board_sections.h"
#include "sim/board/captures/binary_captures.h"
#include "sim/board/captures/capture_files.h"
#include "sim/dxe/dxe_platform.h"
#include "sim/dxe/ipmi_bmc.h"
#include "sim/dxe/power_supply_fru_image.h"

namespace sim {

namespace {

constexpr uint32_t kMaxStepCount = 100000;

struct StatusName {
  const char* name;
  EFI_STATUS status;
};
const StatusName kStatuses[] = {
    {"device_error", EFI_DEVICE_ERROR}, {"timeout", EFI_TIMEOUT},
    {"no_response", EFI_NO_RESPONSE},   {"not_ready", EFI_NOT_READY},
    {"unsupported", EFI_UNSUPPORTED},   {"invalid_parameter", EFI_INVALID_PARAMETER},
    {"not_found", EFI_NOT_FOUND},       {"buffer_too_small", EFI_BUFFER_TOO_SMALL},
};

EFI_STATUS ParseStatus(const YAML::Node& node, const BoardFileContext& c, const std::string& field) {
  std::string names;
  for (const StatusName& s : kStatuses) {
    if (node.IsScalar() && node.Scalar() == s.name) return s.status;
    names += std::string(names.empty() ? "" : ", ") + s.name;
  }
  c.Fail(node, field, "unknown status `" + (node.IsScalar() ? node.Scalar() : std::string("?")) + "`",
         "use one of: " + names);
}

BmcAction ParseStep(const YAML::Node& node, const BoardFileContext& c, const std::string& field) {
  c.RequireMap(node, field, {"answer", "corrupt", "busy", "completion", "error", "silent", "code", "status"});
  struct Kind {
    const char* key;
    BmcActionKind kind;
  };
  const Kind kinds[] = {{"answer", BmcActionKind::Answer},
                        {"corrupt", BmcActionKind::Corrupt},
                        {"busy", BmcActionKind::Busy},
                        {"completion", BmcActionKind::Completion},
                        {"error", BmcActionKind::TransportError},
                        {"silent", BmcActionKind::Silence}};
  BmcAction step;
  int given = 0;
  for (const Kind& k : kinds) {
    if (const YAML::Node n = node[k.key]) {
      ++given;
      step.kind = k.kind;
      step.count = static_cast<uint32_t>(c.Unsigned(n, field + "." + k.key, kMaxStepCount));
      if (step.count == 0) c.Fail(n, field + "." + k.key, "a step of 0 sends", "give the number of sends, 1 or more");
    }
  }
  if (given != 1) {
    c.Fail(node, field, "a step names " + std::to_string(given) + " actions",
           "write exactly one of answer, corrupt, busy, completion, error, silent with its number of sends");
  }
  if (node["code"] && step.kind != BmcActionKind::Completion) {
    c.Fail(node["code"], field + ".code", "`code` belongs to a completion step", "remove it or use `completion: N`");
  }
  if (node["status"] && step.kind != BmcActionKind::TransportError) {
    c.Fail(node["status"], field + ".status", "`status` belongs to an error step", "remove it or use `error: N`");
  }
  if (step.kind == BmcActionKind::Completion) {
    if (!node["code"]) c.Fail(node, field + ".code", "missing", "write the completion code, e.g. `code: 0xC1`");
    step.completion_code = static_cast<uint8_t>(c.Unsigned(node["code"], field + ".code", 0xFF));
    if (step.completion_code == 0x00 || step.completion_code == 0xC0) {
      c.Fail(node["code"], field + ".code", "0x00 and 0xC0 have their own steps", "use `answer: N` or `busy: N`");
    }
  }
  if (step.kind == BmcActionKind::TransportError && node["status"]) {
    step.status = ParseStatus(node["status"], c, field + ".status");
  }
  return step;
}

std::vector<uint8_t> ParseFruFields(const YAML::Node& node, const BoardFileContext& c, const std::string& field) {
  c.RequireMap(node, field,
               {"manufacturer", "product", "part", "version", "serial", "asset_tag", "capacity", "spoil_checksum"});
  PowerSupplyFruFields f;
  const std::pair<const char*, std::string*> texts[] = {
      {"manufacturer", &f.manufacturer}, {"product", &f.product}, {"part", &f.part},
      {"version", &f.version},           {"serial", &f.serial},   {"asset_tag", &f.asset_tag},
  };
  for (const auto& [key, text] : texts) {
    if (node[key]) *text = c.String(node[key], field + "." + key);
  }
  if (node["capacity"])
    f.capacity_watts = static_cast<uint16_t>(c.Unsigned(node["capacity"], field + ".capacity", 0xFFF));
  FruChecksumBreak spoil = FruChecksumBreak::None;
  if (const YAML::Node n = node["spoil_checksum"]) {
    const std::string s = c.String(n, field + ".spoil_checksum");
    if (s == "product") {
      spoil = FruChecksumBreak::ProductArea;
    } else if (s == "multirecord") {
      spoil = FruChecksumBreak::MultiRecord;
    } else if (s == "both") {
      spoil = FruChecksumBreak::Both;
    } else if (s != "none") {
      c.Fail(n, field + ".spoil_checksum", "unknown value `" + s + "`", "use none, product, multirecord or both");
    }
  }
  std::vector<uint8_t> image;
  std::string problem = BuildPowerSupplyFru(f, spoil, &image);
  if (!problem.empty()) {
    // The builder names the field ("field serial: ..."); point at that field's line when it is given.
    std::string key = problem.substr(6, problem.find(':') - 6);
    const YAML::Node at = node[key] ? node[key] : node;
    c.Fail(at, field + "." + key, problem.substr(problem.find(':') + 2), "see the limits above");
  }
  return image;
}

BmcSupply ParseSupply(const YAML::Node& node, const BoardFileContext& c, const std::string& field) {
  c.RequireMap(node, field, {"supply", "fru", "fru_bytes", "fru_file", "silent", "script"});
  BmcSupply supply;
  std::vector<std::string> images;
  for (const char* key : {"fru", "fru_bytes", "fru_file"})
    if (node[key]) images.push_back(std::string("`") + key + "`");
  if (images.size() > 1) {
    c.Fail(node, field,
           (images.size() == 2 ? "both " + images[0] + " and " + images[1]
                               : images[0] + ", " + images[1] + " and " + images[2]) +
               " given",
           "describe the image one way: fields, bytes or a captured file");
  }
  if (const YAML::Node fru_file = node["fru_file"]) {
    CaptureFile file = ReadCaptureFile(c, fru_file, field + ".fru_file", kMaxFruImageBytes + 1);
    try {
      CheckFruImage(file.bytes);
    } catch (const CaptureError& e) {
      c.Fail(fru_file, field + ".fru_file", "`" + file.path + "`: " + e.what(), e.Fix());
    }
    supply.fru = std::move(file.bytes);
  }
  if (node["fru"]) supply.fru = ParseFruFields(node["fru"], c, field + ".fru");
  if (node["fru_bytes"]) {
    supply.fru = c.HexBytes(node["fru_bytes"], field + ".fru_bytes");
    if (supply.fru.empty()) c.Fail(node["fru_bytes"], field + ".fru_bytes", "no bytes", "give the image's bytes");
  }
  if (node["silent"]) supply.silent = c.Boolean(node["silent"], field + ".silent");
  if (const YAML::Node script = node["script"]) {
    c.RequireSequence(script, field + ".script");
    for (size_t i = 0; i < script.size(); ++i) {
      const std::string sf = field + ".script[" + std::to_string(i) + "]";
      const YAML::Node entry = script[i];
      c.RequireMap(entry, sf, {"chunk", "steps"});
      if (!entry["chunk"]) c.Fail(entry, sf + ".chunk", "missing", "write `chunk: N` with N from 1 to 4, or `all`");
      if (!entry["steps"]) c.Fail(entry, sf + ".steps", "missing", "list the steps, e.g. `steps: [{busy: 3}]`");
      std::vector<uint8_t> chunks;
      if (entry["chunk"].IsScalar() && entry["chunk"].Scalar() == "all") {
        chunks = {1, 2, 3, 4};
      } else {
        uint64_t chunk = c.Unsigned(entry["chunk"], sf + ".chunk", 4);
        if (chunk == 0) c.Fail(entry["chunk"], sf + ".chunk", "chunk 0 does not exist", "chunks are 1 to 4, or all");
        chunks = {static_cast<uint8_t>(chunk)};
      }
      c.RequireSequence(entry["steps"], sf + ".steps");
      std::vector<BmcAction> steps;
      for (size_t k = 0; k < entry["steps"].size(); ++k) {
        steps.push_back(ParseStep(entry["steps"][k], c, sf + ".steps[" + std::to_string(k) + "]"));
      }
      for (uint8_t chunk : chunks) {
        auto& list = supply.scripts[chunk];
        list.insert(list.end(), steps.begin(), steps.end());
      }
    }
  }
  return supply;
}

}  // namespace

void ParseBmcSection(const YAML::Node& node, const BoardFileContext& c, Board& board) {
  c.RequireMap(node, "bmc", {"send_time_us", "silent_timeout_us", "supplies"});
  BoardBmc bmc;
  if (node["send_time_us"]) bmc.timing.send_us = c.Unsigned(node["send_time_us"], "bmc.send_time_us", 60000000);
  if (node["silent_timeout_us"]) {
    bmc.timing.silence_us = c.Unsigned(node["silent_timeout_us"], "bmc.silent_timeout_us", 60000000);
  }
  if (const YAML::Node supplies = node["supplies"]) {
    c.RequireSequence(supplies, "bmc.supplies");
    for (size_t i = 0; i < supplies.size(); ++i) {
      const std::string field = "bmc.supplies[" + std::to_string(i) + "]";
      const YAML::Node s = supplies[i];
      if (!s.IsMap() || !s["supply"]) c.Fail(s, field + ".supply", "missing", "write `supply: N` with N 1 or 2");
      const uint8_t number = static_cast<uint8_t>(c.Unsigned(s["supply"], field + ".supply", 0xFF));
      if (number == 0) c.Fail(s["supply"], field + ".supply", "supply 0 does not exist", "number supplies from 1");
      if (bmc.supplies.count(number)) {
        c.Fail(s["supply"], field + ".supply", "supply " + std::to_string(number) + " given twice",
               "describe each supply once");
      }
      bmc.supplies[number] = ParseSupply(s, c, field);
    }
  }
  board.bmc = std::move(bmc);
}

void ApplyBmcSection(const Board& board, DxePlatform& platform) {
  if (!board.bmc) return;
  BmcModel& bmc = InstallIpmiBmc(platform);
  bmc.SetTiming(board.bmc->timing);
  for (const auto& [number, supply] : board.bmc->supplies) bmc.SetSupply(number, supply);
}

}  // namespace sim
