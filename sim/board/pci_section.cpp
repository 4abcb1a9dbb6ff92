// Board-file section `pci`: the PCI functions of the board (identity, header type, bridge buses, capabilities
// with link state and VPD behaviour, raw pokes, or captured configuration bytes), functions taken from lspci
// dumps (`captures`, placed and renumbered), and putting them on the platform behind the ECAM base.
#include <cstdint>
#include <cstdio>
#include <map>

#include "sim/board/board_sections.h"
#include "sim/board/captures/binary_captures.h"
#include "sim/board/captures/capture_files.h"
#include "sim/board/captures/capture_placement.h"
#include "sim/board/pci_platform.h"
#include "sim/common/hex_text.h"
#include "sim/dxe/dxe_platform.h"
#include "sim/pci/vpd_image.h"

namespace sim {

namespace {

constexpr const char* kLocationFix = "write `at: BB:DD.F` or `at: SSSS:BB:DD.F` in hex, device 0..1F, function 0..7";

}  // namespace

PciLocation ParsePciLocation(const YAML::Node& node, const BoardFileContext& c, const std::string& field) {
  const std::string text = c.String(node, field);
  unsigned a = 0, b = 0, d = 0, f = 0;
  char tail = 0;
  PciLocation l;
  if (std::sscanf(text.c_str(), "%x:%x:%x.%x%c", &a, &b, &d, &f, &tail) == 4) {
    if (a > 0xFFFF || b > 0xFF || d > 0x1F || f > 7)
      c.Fail(node, field, "`" + text + "` is out of range", kLocationFix);
    l = {static_cast<uint16_t>(a), static_cast<uint8_t>(b), static_cast<uint8_t>(d), static_cast<uint8_t>(f)};
  } else if (std::sscanf(text.c_str(), "%x:%x.%x%c", &b, &d, &f, &tail) == 3) {
    if (b > 0xFF || d > 0x1F || f > 7) c.Fail(node, field, "`" + text + "` is out of range", kLocationFix);
    l = {0, static_cast<uint8_t>(b), static_cast<uint8_t>(d), static_cast<uint8_t>(f)};
  } else {
    c.Fail(node, field, "`" + text + "` is not a PCI location", kLocationFix);
  }
  return l;
}

namespace {

PciLocation ParseLocation(const YAML::Node& node, const BoardFileContext& c, const std::string& field) {
  return ParsePciLocation(node, c, field);
}

// A keyword value: a text (stored as its characters), a list of byte values, or {hex: "..."}.
std::vector<uint8_t> KeywordData(const YAML::Node& node, const BoardFileContext& c, const std::string& field) {
  if (node.IsMap()) {
    c.RequireMap(node, field, {"hex"});
    return c.HexBytes(node["hex"], field + ".hex");
  }
  if (node.IsSequence()) return c.HexBytes(node, field);
  const std::string text = c.String(node, field);
  return {text.begin(), text.end()};
}

std::vector<VpdKeyword> Keywords(const YAML::Node& node, const BoardFileContext& c, const std::string& field) {
  if (!node.IsMap()) c.Fail(node, field, "expected a mapping of keywords", "write `PN: \"text\"` lines under it");
  std::vector<VpdKeyword> out;
  for (auto it = node.begin(); it != node.end(); ++it) {
    const std::string name = it->first.Scalar();
    const std::string kf = field + "." + name;
    if (name.size() != 2)
      c.Fail(it->first, kf, "keyword `" + name + "` is not two characters", "name keywords like PN, SN, VB");
    std::vector<uint8_t> data = KeywordData(it->second, c, kf);
    if (data.size() > 255)
      c.Fail(it->second, kf, std::to_string(data.size()) + " data bytes", "keep keyword data to 255 bytes");
    out.push_back({name, std::move(data)});
  }
  return out;
}

VpdBehaviour ParseVpd(const YAML::Node& node, const BoardFileContext& c, const std::string& field) {
  c.RequireMap(node, field,
               {"offset", "delay_us", "never_completes", "answered_reads", "image", "file", "identifier", "read_only",
                "writable", "end_tag"});
  VpdBehaviour vpd;
  if (node["delay_us"]) vpd.delay_us = c.Unsigned(node["delay_us"], field + ".delay_us", 1000000000);
  if (node["never_completes"]) vpd.never_completes = c.Boolean(node["never_completes"], field + ".never_completes");
  if (node["answered_reads"])
    vpd.answered_reads = c.Unsigned(node["answered_reads"], field + ".answered_reads", 1000000000);
  const bool structured = node["identifier"] || node["read_only"] || node["writable"] || node["end_tag"];
  if (const YAML::Node file = node["file"]) {
    if (structured || node["image"])
      c.Fail(file, field + ".file", "`file` given together with image/identifier/read_only/writable/end_tag",
             "give the VPD one way: a captured file, the raw image or its resources");
    CaptureFile vpd_file = ReadCaptureFile(c, file, field + ".file", kMaxVpdCaptureBytes + 1);
    try {
      CheckVpdCapture(vpd_file.bytes);
    } catch (const CaptureError& e) {
      FailBinaryCapture(c, file, field + ".file", vpd_file.path, e);
    }
    vpd.image = std::move(vpd_file.bytes);
    return vpd;
  }
  if (node["image"]) {
    if (structured)
      c.Fail(node["image"], field + ".image", "`image` given together with identifier/read_only/writable/end_tag",
             "give either the raw image or its resources");
    vpd.image = c.HexBytes(node["image"], field + ".image");
    if (vpd.image.size() > 0x8000)
      c.Fail(node["image"], field + ".image", std::to_string(vpd.image.size()) + " bytes",
             "keep the image within the 32768-byte VPD space");
    return vpd;
  }
  VpdImageSpec spec;
  if (node["identifier"]) spec.identifier = c.String(node["identifier"], field + ".identifier");
  if (node["read_only"]) spec.read_only = Keywords(node["read_only"], c, field + ".read_only");
  if (node["writable"]) spec.writable = Keywords(node["writable"], c, field + ".writable");
  if (node["end_tag"]) spec.end_tag = c.Boolean(node["end_tag"], field + ".end_tag");
  try {
    vpd.image = EncodeVpdImage(spec);
  } catch (const std::invalid_argument& e) {
    c.Fail(node, field, e.what(), "shorten the resource");
  }
  return vpd;
}

ExpressPortType PortType(const YAML::Node& node, const BoardFileContext& c, const std::string& field) {
  const std::string text = c.String(node, field);
  if (text == "endpoint") return ExpressPortType::Endpoint;
  if (text == "legacy_endpoint") return ExpressPortType::LegacyEndpoint;
  if (text == "root_port") return ExpressPortType::RootPort;
  if (text == "upstream") return ExpressPortType::UpstreamSwitchPort;
  if (text == "downstream") return ExpressPortType::DownstreamSwitchPort;
  c.Fail(node, field, "unknown port type `" + text + "`",
         "use endpoint, legacy_endpoint, root_port, upstream or downstream");
}

PciCapabilitySpec ParseCapability(const YAML::Node& node, const BoardFileContext& c, const std::string& field) {
  c.RequireMap(node, field, {"express", "vpd", "other"});
  if (node.size() != 1) c.Fail(node, field, "a capability has one kind", "write one of `express:`, `vpd:`, `other:`");
  PciCapabilitySpec cap;
  const std::string kind = node.begin()->first.Scalar();
  const YAML::Node body = node.begin()->second;
  const std::string bf = field + "." + kind;
  if (kind == "express") {
    cap.kind = PciCapabilitySpec::Kind::Express;
    c.RequireMap(body, bf, {"offset", "port", "link_active", "link_speed", "link_width"});
    if (body["port"]) cap.port_type = PortType(body["port"], c, bf + ".port");
    if (body["link_active"]) cap.link_active = c.Boolean(body["link_active"], bf + ".link_active");
    if (body["link_speed"])
      cap.link_speed = static_cast<uint8_t>(c.Unsigned(body["link_speed"], bf + ".link_speed", 15));
    if (body["link_width"])
      cap.link_width = static_cast<uint8_t>(c.Unsigned(body["link_width"], bf + ".link_width", 32));
  } else if (kind == "vpd") {
    cap.kind = PciCapabilitySpec::Kind::Vpd;
    cap.vpd = ParseVpd(body, c, bf);
  } else {
    cap.kind = PciCapabilitySpec::Kind::Other;
    c.RequireMap(body, bf, {"offset", "id", "bytes"});
    if (!body["id"]) c.Fail(body, bf + ".id", "missing", "give the capability ID, e.g. `id: 0x05` for MSI");
    cap.id = static_cast<uint8_t>(c.Unsigned(body["id"], bf + ".id", 0xFF));
    if (body["bytes"]) cap.body = c.HexBytes(body["bytes"], bf + ".bytes");
  }
  if (body["offset"]) cap.offset = static_cast<uint8_t>(c.Unsigned(body["offset"], bf + ".offset", 0xFF));
  return cap;
}

// `memory_bar: {address: 0xA0000000, size: 0x200000, contents: [{offset: 0x40, bytes: "02 00 5E 10 20 30"}]}`
MemoryBarSpec ParseMemoryBar(const YAML::Node& node, const BoardFileContext& c, const std::string& field) {
  c.RequireMap(node, field, {"address", "size", "contents"});
  if (!node["address"] || !node["size"])
    c.Fail(node, field, "needs address and size", "write `{address: 0xA0000000, size: 0x200000}`");
  MemoryBarSpec bar;
  bar.address = c.Unsigned(node["address"], field + ".address", UINT64_MAX);
  bar.size = c.Unsigned(node["size"], field + ".size", UINT64_MAX);
  if (const YAML::Node contents = node["contents"]) {
    c.RequireSequence(contents, field + ".contents");
    for (size_t i = 0; i < contents.size(); ++i) {
      const std::string cf = field + ".contents[" + std::to_string(i) + "]";
      c.RequireMap(contents[i], cf, {"offset", "bytes"});
      if (!contents[i]["offset"] || !contents[i]["bytes"])
        c.Fail(contents[i], cf, "needs offset and bytes", "write `{offset: 0x40, bytes: \"02 00 5E 10 20 30\"}`");
      bar.contents.push_back({c.Unsigned(contents[i]["offset"], cf + ".offset", UINT64_MAX),
                              c.HexBytes(contents[i]["bytes"], cf + ".bytes")});
    }
  }
  return bar;
}

std::vector<ConfigPoke> ParsePokes(const YAML::Node& pokes, const BoardFileContext& c, const std::string& field) {
  c.RequireSequence(pokes, field);
  std::vector<ConfigPoke> out;
  for (size_t i = 0; i < pokes.size(); ++i) {
    const std::string pf = field + "[" + std::to_string(i) + "]";
    c.RequireMap(pokes[i], pf, {"offset", "bytes"});
    if (!pokes[i]["offset"] || !pokes[i]["bytes"])
      c.Fail(pokes[i], pf, "needs offset and bytes", "write `{offset: 0x34, bytes: \"40\"}`");
    out.push_back({static_cast<uint16_t>(c.Unsigned(pokes[i]["offset"], pf + ".offset", 0xFFF)),
                   c.HexBytes(pokes[i]["bytes"], pf + ".bytes")});
  }
  return out;
}

// A function given as `config: FILE` (a sysfs `config` file): the captured bytes are its space; `vpd` answers the
// VPD capability found in them.
PciFunctionSpec ParseCapturedFunction(const YAML::Node& node, const BoardFileContext& c, const std::string& field) {
  static const char* const kAllowed[] = {"at", "name", "config", "vpd", "pokes", "reads_all_ones"};
  for (auto it = node.begin(); it != node.end(); ++it) {
    bool allowed = false;
    for (const char* key : kAllowed) allowed = allowed || it->first.Scalar() == key;
    if (!allowed)
      c.Fail(it->first, field + "." + it->first.Scalar(), "`" + it->first.Scalar() + "` given together with `config`",
             "the captured bytes give the function's identity, header and capabilities: drop the field, or "
             "describe the function without `config`");
  }
  if (!node["at"]) c.Fail(node, field + ".at", "missing", kLocationFix);
  const PciLocation at = ParseLocation(node["at"], c, field + ".at");
  CaptureFile file = ReadCaptureFile(c, node["config"], field + ".config", kPciConfigSpaceSize);
  PciFunctionSpec f;
  try {
    f = CapturedFunction(at, file.bytes, c.Origin(node));
  } catch (const CaptureError& e) {
    FailBinaryCapture(c, node["config"], field + ".config", file.path, e);
  }
  if (node["name"]) f.name = c.String(node["name"], field + ".name");
  if (const YAML::Node pokes = node["pokes"]) f.pokes = ParsePokes(pokes, c, field + ".pokes");
  if (node["reads_all_ones"]) f.reads_all_ones = c.Boolean(node["reads_all_ones"], field + ".reads_all_ones");
  if (const YAML::Node vpd = node["vpd"]) {
    f.captured->vpd = ParseVpd(vpd, c, field + ".vpd");
    if (!RenderConfigSpace(f).vpd_capability)
      c.Fail(vpd, field + ".vpd", "`" + file.path + "` holds no VPD capability to answer with this VPD",
             "drop `vpd`, or capture the configuration as root (a 64-byte capture ends before the capabilities)");
  }
  return f;
}

PciFunctionSpec ParseFunction(const YAML::Node& node, const BoardFileContext& c, const std::string& field) {
  if (node.IsMap() && node["config"]) return ParseCapturedFunction(node, c, field);
  c.RequireMap(node, field,
               {"at", "name", "vendor_id", "device_id", "revision", "class_code", "header_type", "subsystem_vendor_id",
                "subsystem_id", "secondary_bus", "subordinate_bus", "capabilities", "pokes", "memory_bar",
                "reads_all_ones", "vpd"});
  if (node["vpd"])
    c.Fail(node["vpd"], field + ".vpd", "`vpd` belongs to a function given as `config`",
           "put the VPD in the function's capability: `capabilities: [{vpd: {file: FILE}}]`");
  if (!node["at"]) c.Fail(node, field + ".at", "missing", kLocationFix);
  PciFunctionSpec f;
  f.origin = c.Origin(node);
  f.location = ParseLocation(node["at"], c, field + ".at");
  if (node["name"]) f.name = c.String(node["name"], field + ".name");
  auto u = [&](const char* key, uint64_t max, uint64_t fallback) {
    return node[key] ? c.Unsigned(node[key], field + "." + key, max) : fallback;
  };
  f.vendor_id = static_cast<uint16_t>(u("vendor_id", 0xFFFF, 0));
  f.device_id = static_cast<uint16_t>(u("device_id", 0xFFFF, 0));
  if (!node["vendor_id"]) c.Fail(node, field + ".vendor_id", "missing", "give the function's 16-bit vendor ID");
  f.revision = static_cast<uint8_t>(u("revision", 0xFF, 0));
  f.class_code = static_cast<uint32_t>(u("class_code", 0xFFFFFF, 0));
  f.header_type = static_cast<uint8_t>(u("header_type", 2, 0));
  f.subsystem_vendor_id = static_cast<uint16_t>(u("subsystem_vendor_id", 0xFFFF, 0));
  f.subsystem_id = static_cast<uint16_t>(u("subsystem_id", 0xFFFF, 0));
  f.secondary_bus = static_cast<uint8_t>(u("secondary_bus", 0xFF, 0));
  f.subordinate_bus = static_cast<uint8_t>(u("subordinate_bus", 0xFF, f.secondary_bus));
  if (f.IsBridge() && !node["secondary_bus"])
    c.Fail(node, field + ".secondary_bus", "missing for a bridge", "give the bus the bridge leads to");
  if (!f.IsBridge() && (node["secondary_bus"] || node["subordinate_bus"]))
    c.Fail(node["secondary_bus"] ? node["secondary_bus"] : node["subordinate_bus"], field + ".secondary_bus",
           "bus numbers on a function with header type 0", "set `header_type: 1` for a bridge or drop the buses");
  if (const YAML::Node caps = node["capabilities"]) {
    c.RequireSequence(caps, field + ".capabilities");
    for (size_t i = 0; i < caps.size(); ++i)
      f.capabilities.push_back(ParseCapability(caps[i], c, field + ".capabilities[" + std::to_string(i) + "]"));
  }
  if (const YAML::Node pokes = node["pokes"]) f.pokes = ParsePokes(pokes, c, field + ".pokes");
  if (const YAML::Node bar = node["memory_bar"]) f.memory_bar = ParseMemoryBar(bar, c, field + ".memory_bar");
  if (node["reads_all_ones"]) f.reads_all_ones = c.Boolean(node["reads_all_ones"], field + ".reads_all_ones");
  return f;
}

// The node a topology error's field path ("capabilities[1].offset") points at, as deep as the file has it.
YAML::Node NodeAt(YAML::Node node, const std::string& path) {
  size_t start = 0;
  while (start < path.size()) {
    size_t dot = path.find('.', start);
    std::string part = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    size_t bracket = part.find('[');
    YAML::Node next = node[part.substr(0, bracket)];
    if (!next) return node;
    if (bracket != std::string::npos) {
      size_t index = std::stoul(part.substr(bracket + 1));
      if (!next.IsSequence() || index >= next.size()) return next;
      next = next[index];
      if (next.IsMap() && next.size() == 1) next = next.begin()->second;  // capability kind
    }
    node = next;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return node;
}

std::string TopologyFix(const std::string& field) {
  if (field == "location") return "give each function its own location and every device a function 0";
  if (field == "secondary_bus" || field == "subordinate_bus")
    return "bridges need own bus < secondary <= subordinate, and ranges that are disjoint or nested below their "
           "bridge";
  if (field.rfind("memory_bar", 0) == 0)
    return "give a power-of-two size from 16 bytes to 16 MiB, an address aligned to it that no other BAR uses, "
           "contents inside the window, and put BARs on header type 0 functions only";
  if (field.find("offset") != std::string::npos)
    return "leave `offset` out to place capabilities one after another, or choose a free dword-aligned offset "
           "from 0x40 that fits below 0x100";
  return "correct the function's description";
}

}  // namespace

namespace {

// Where a function of the section came from, for the errors the whole set of functions raises.
struct FunctionSite {
  std::string file;  // the board file, or the dump for a function taken at its own address
  int line = 0;
  std::string field;    // "pci.functions[2]", "pci.captures[0].place[1]", "pci.captures[0].lspci_dump"
  bool yaml = false;    // a function of `functions`
  YAML::Node node;      // its node (topology errors point inside it)
  bool placed = false;  // taken by a placement
};

CapturePlacement ParsePlacement(const YAML::Node& node, const BoardFileContext& c, const std::string& field) {
  c.RequireMap(node, field, {"from", "at", "bus"});
  if (!node["from"] || !node["at"])
    c.Fail(node, field, "a placement needs `from` and `at`", "write `{from: BB:DD.F, at: BB:DD.F, bus: NN}`");
  CapturePlacement p;
  p.from = ParsePciLocation(node["from"], c, field + ".from");
  p.at = ParsePciLocation(node["at"], c, field + ".at");
  if (node["bus"]) p.bus = static_cast<uint8_t>(c.Unsigned(node["bus"], field + ".bus", 0xFF));
  return p;
}

// One `captures` entry: the dump's functions at their own addresses, or only the placed ones and their subtrees.
void ParseCapture(const YAML::Node& node, const BoardFileContext& c, const std::string& field,
                  std::vector<PciFunctionSpec>& specs, std::vector<FunctionSite>& sites) {
  c.RequireMap(node, field, {"lspci_dump", "place"});
  if (!node["lspci_dump"]) c.Fail(node, field + ".lspci_dump", "missing", "name the dump file: `lspci_dump: FILE`");
  const std::string dump_field = field + ".lspci_dump";
  const CaptureFile file = ReadCaptureFile(c, node["lspci_dump"], dump_field);
  std::vector<DumpedFunction> dumped;
  try {
    dumped = ReadLspciDump(std::string_view(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()));
  } catch (const CaptureError& e) {
    FailTextCapture(file.path, dump_field, e);
  }
  if (dumped.empty())
    c.Fail(node["lspci_dump"], dump_field, "`" + file.path + "` holds no function",
           "capture with `lspci -xxx > FILE` (or -x, -xxxx)");
  auto add = [&](const DumpedFunction& d, FunctionSite site) {
    try {
      specs.push_back(CapturedFunction(d.location, d.config, site.file + ":" + std::to_string(site.line)));
    } catch (const CaptureError& e) {  // the reader hands out whole functions only
      FailTextCapture(file.path, dump_field, CaptureError(d.line, e.what(), e.Fix()));
    }
    specs.back().name = d.description;
    sites.push_back(std::move(site));
  };
  const YAML::Node place = node["place"];
  if (!place) {
    for (const DumpedFunction& d : dumped) add(d, {file.path, static_cast<int>(d.line), dump_field, false, {}, false});
    return;
  }
  c.RequireSequence(place, field + ".place");
  std::vector<CapturePlacement> placements;
  for (size_t i = 0; i < place.size(); ++i)
    placements.push_back(ParsePlacement(place[i], c, field + ".place[" + std::to_string(i) + "]"));
  std::vector<PlacedFunction> placed;
  try {
    placed = PlaceCapturedFunctions(dumped, placements);
  } catch (const CaptureError& e) {
    c.Fail(place[e.Where()], field + ".place[" + std::to_string(e.Where()) + "]", e.what(), e.Fix());
  }
  for (const PlacedFunction& p : placed) {
    const YAML::Node at = place[p.placement];
    add(p.function,
        {c.File(), at.Mark().line + 1, field + ".place[" + std::to_string(p.placement) + "]", false, {}, true});
  }
}

[[noreturn]] void FailAt(const FunctionSite& site, const BoardFileContext& c, const std::string& problem,
                         const std::string& fix) {
  if (site.yaml) c.Fail(site.node, site.field + ".location", problem, fix);
  throw BoardFileError(site.file, site.line, site.field, problem, fix);
}

// Every function at its own address; a placed function on a bus the board reaches: bus 0, a bus a bridge leads to,
// or a bus that holds functions from elsewhere in the board file.
void CheckAddresses(const std::vector<PciFunctionSpec>& specs, const std::vector<FunctionSite>& sites,
                    const BoardFileContext& c) {
  std::map<PciLocation, size_t> at;
  std::map<std::pair<uint16_t, uint8_t>, std::vector<size_t>> on_bus;
  std::map<std::pair<uint16_t, uint8_t>, bool> led_to;
  for (size_t i = 0; i < specs.size(); ++i) {
    const PciLocation& l = specs[i].location;
    auto [it, fresh] = at.emplace(l, i);
    if (!fresh) {
      const FunctionSite& first = sites[it->second];
      FailAt(sites[i], c,
             "a second function at " + ToString(l) + " (the first from " + first.file + ":" +
                 std::to_string(first.line) + ", " + first.field + ")",
             "give each function its own address: place the capture's functions elsewhere with `place`, or drop "
             "one of the two");
    }
    on_bus[{l.segment, l.bus}].push_back(i);
    if (specs[i].IsBridge()) led_to[{l.segment, specs[i].secondary_bus}] = true;
  }
  for (size_t i = 0; i < specs.size(); ++i) {
    if (!sites[i].placed) continue;
    const PciLocation& l = specs[i].location;
    if (l.bus == 0 || led_to.contains({l.segment, l.bus})) continue;
    bool elsewhere = false;
    for (size_t j : on_bus[{l.segment, l.bus}]) elsewhere = elsewhere || sites[j].field != sites[i].field;
    if (!elsewhere)
      FailAt(sites[i], c, "placed at " + ToString(l) + ", on bus " + Hex(l.bus, 2) + ", which no bridge leads to",
             "place it on bus 0, on a bus of the board's functions, or behind a bridge whose `secondary_bus` is "
             "that bus");
  }
}

}  // namespace

void ParsePciSection(const YAML::Node& node, const BoardFileContext& c, Board& board) {
  c.RequireMap(node, "pci", {"functions", "captures"});
  std::vector<PciFunctionSpec> specs;
  std::vector<FunctionSite> sites;
  if (const YAML::Node functions = node["functions"]) {
    c.RequireSequence(functions, "pci.functions");
    for (size_t i = 0; i < functions.size(); ++i) {
      const std::string field = "pci.functions[" + std::to_string(i) + "]";
      specs.push_back(ParseFunction(functions[i], c, field));
      sites.push_back({c.File(), functions[i].Mark().line + 1, field, true, functions[i], false});
    }
  }
  if (const YAML::Node captures = node["captures"]) {
    c.RequireSequence(captures, "pci.captures");
    for (size_t i = 0; i < captures.size(); ++i)
      ParseCapture(captures[i], c, "pci.captures[" + std::to_string(i) + "]", specs, sites);
  }
  CheckAddresses(specs, sites, c);
  // The topology checks run here so that a bad board fails while loading, with its file and line.
  try {
    VirtualClock clock;
    PciBus check(specs, clock);
  } catch (const PciTopologyError& e) {
    const FunctionSite& site = sites[e.Index()];
    const std::string field = site.field + "." + e.Field();
    if (site.yaml) c.Fail(NodeAt(site.node, e.Field()), field, e.what(), TopologyFix(e.Field()));
    throw BoardFileError(site.file, site.line, field, e.what(), TopologyFix(e.Field()));
  }
  board.pci = std::move(specs);
}

void ApplyPciSection(const Board& board, DxePlatform& platform) {
  // The window is there even on a board without functions: every probe then reads all ones.
  PciPlatform& pci = AttachPci(platform, board.pci, board.pcd.ecam_base);
  // The `faults` section's failing PCI I/O reads go on the instances here, where the instances are made; the
  // faults parser has checked that each names a function of the board.
  for (const BoardPciIoReadFailure& failure : board.faults.fail_pci_io_reads) {
    pci.Instances().FailReads(failure.at, failure.offsets);
  }
}

}  // namespace sim
