// The status codes of `boardsim trace`: the built-in sequence and the YAML codes file.
#include <yaml-cpp/yaml.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "sim/board/board_file_context.h"
#include "tools/boardsim/trace_command.h"

namespace boardsim {

namespace {

constexpr uint32_t kProgressClass = 1, kErrorClass = 2, kDebugClass = 3;
constexpr EFI_GUID kBuiltInCaller = {0x6B4DC5A1, 0x0F3E, 0x4C21, {0x9A, 0x57, 0x13, 0x5E, 0xC2, 0x88, 0x04, 0x7D}};
constexpr EFI_GUID kVendorRecordGuid = {0x3C1F8E52, 0xA7D4, 0x4E0B, {0x86, 0x2A, 0x5D, 0x91, 0xF0, 0x3B, 0xC6, 0x14}};

std::string Hex8(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", v);
  return text;
}

const char* ClassName(uint32_t cls) {
  switch (cls) {
    case kProgressClass: return "progress";
    case kErrorClass: return "error";
    case kDebugClass: return "debug";
    default: return nullptr;
  }
}

const char* SeverityName(uint32_t severity) {
  switch (severity) {
    case 0x40: return "minor";
    case 0x80: return "major";
    case 0x90: return "unrecovered";
    case 0xA0: return "uncontained";
    default: return nullptr;
  }
}

TraceCode Code(uint32_t type, uint32_t value, uint32_t instance = 0) {
  TraceCode c;
  c.type = type;
  c.value = value;
  c.instance = instance;
  return c;
}

TraceCode Debug(uint32_t level, std::string format, std::vector<sim::DebugArgument> args) {
  TraceCode c = Code(kDebugClass, 0);
  c.data = TraceCode::Data::Debug;
  c.debug_level = level;
  c.format = std::move(format);
  c.args = std::move(args);
  return c;
}

TraceCode StringRecord(std::string text, uint32_t string_type) {
  TraceCode c = Code(kDebugClass, 0);
  c.data = TraceCode::Data::String;
  c.text = std::move(text);
  c.string_type = string_type;
  return c;
}

}  // namespace

std::string DescribeCode(const TraceCode& code) {
  const uint32_t cls = code.type & 0xFF, severity = code.type >> 24;
  std::string out;
  if (const char* name = ClassName(cls)) {
    out = name;
  } else {
    out = "class " + std::to_string(cls);
  }
  if (severity != 0) {
    const char* name = SeverityName(severity);
    out += name ? std::string(" (") + name + ")" : " (severity 0x" + Hex8(severity).substr(6) + ")";
  }
  out += " V" + Hex8(code.value) + " I" + std::to_string(code.instance);
  if (code.caller) out += ", caller GUID";
  switch (code.data) {
    case TraceCode::Data::None: break;
    case TraceCode::Data::Debug: out += ", debug record level 0x" + Hex8(code.debug_level); break;
    case TraceCode::Data::Assertion: out += ", assertion record " + code.file + ":" + std::to_string(code.line); break;
    case TraceCode::Data::String:
      out +=
          code.string_type == 0 ? ", ASCII string record" : ", string record type " + std::to_string(code.string_type);
      break;
    case TraceCode::Data::Other: out += ", other record"; break;
  }
  return out;
}

std::vector<TraceCode> BuiltInTraceCodes() {
  using sim::DebugArgument;
  std::vector<TraceCode> codes;
  codes.push_back(Code(kProgressClass, 0x03020000));  // a progress code: an empty line
  codes.push_back(StringRecord("Platform PEI: board straps read", 0));
  codes.push_back(Debug(0x00000040, "Memory: %d MiB, top of low memory 0x%lx\n",
                        {DebugArgument::Int32(2048), DebugArgument::Int64(0x7F000000ull)}));
  codes.push_back(Debug(0x80000000, "%a: PMC read failed - %r\n",
                        {DebugArgument::String("PlatformInit"), DebugArgument::Int32(0x80000007)}));
  codes.push_back(Debug(0x00000004, "Recovery: no capsule found, boot mode 0x%x\n", {DebugArgument::Int32(0x20)}));
  codes.push_back(Debug(0x00400000, "verbose: %a\n", {DebugArgument::String("filtered out by the level mask")}));
  codes.push_back(Code(0x80000002, 0x0301000A, 0));  // an error code alone
  TraceCode with_caller = Code(0x40000002, 0x03058001, 1);
  with_caller.caller = kBuiltInCaller;
  codes.push_back(with_caller);
  TraceCode with_data = Code(0x80000002, 0x01040006, 0);
  with_data.caller = kBuiltInCaller;
  with_data.data = TraceCode::Data::Other;
  with_data.record_guid = kVendorRecordGuid;
  with_data.record_bytes = {0x01, 0x00, 0x00, 0x00};
  codes.push_back(with_data);
  TraceCode assertion = Code(0x90000002, 0x03000007, 0);
  assertion.data = TraceCode::Data::Assertion;
  assertion.file = "Platform/MemoryInit/MemoryInit.c";
  assertion.line = 512;
  assertion.text = "Hob != NULL";
  codes.push_back(assertion);
  codes.push_back(StringRecord("not ASCII", 1));      // a string record of another type: undefined
  codes.push_back(Code(kDebugClass, 0x03000010, 0));  // a debug code without a record: undefined
  for (size_t i = 0; i < codes.size(); ++i) codes[i].origin = "built-in #" + std::to_string(i + 1);
  return codes;
}

namespace {

struct CodesParser {
  const sim::BoardFileContext& ctx;

  uint32_t U32(const YAML::Node& n, const std::string& field) const {
    return static_cast<uint32_t>(ctx.Unsigned(n, field, 0xFFFFFFFFu));
  }

  uint32_t Class(const YAML::Node& n, const std::string& field) const {
    const std::string s = n.IsScalar() ? n.Scalar() : "";
    for (uint32_t c : {kProgressClass, kErrorClass, kDebugClass}) {
      if (s == ClassName(c)) return c;
    }
    if (s.empty() || !(s[0] >= '0' && s[0] <= '9')) {
      ctx.Fail(n, field, "unknown class `" + s + "`", "use progress, error, debug or a number 0-255");
    }
    return static_cast<uint32_t>(ctx.Unsigned(n, field, 0xFF));
  }

  uint32_t Severity(const YAML::Node& n, const std::string& field) const {
    const std::string s = n.IsScalar() ? n.Scalar() : "";
    for (uint32_t v : {0x40u, 0x80u, 0x90u, 0xA0u}) {
      if (s == SeverityName(v)) return v;
    }
    if (s.empty() || !(s[0] >= '0' && s[0] <= '9')) {
      ctx.Fail(n, field, "unknown severity `" + s + "`",
               "use minor, major, unrecovered, uncontained or a number 0-255");
    }
    return static_cast<uint32_t>(ctx.Unsigned(n, field, 0xFF));
  }

  // A number (32-bit, a leading minus allowed), {u64: N}, {string: TEXT}, or any other text (a string).
  sim::DebugArgument Argument(const YAML::Node& n, const std::string& field) const {
    if (n.IsMap()) {
      ctx.RequireMap(n, field, {"u32", "u64", "string"});
      if (n.size() != 1) ctx.Fail(n, field, "an argument has one key", "write {u32: N}, {u64: N} or {string: TEXT}");
      if (n["u64"]) return sim::DebugArgument::Int64(ctx.Unsigned(n["u64"], field + ".u64", ~0ull));
      if (n["u32"]) return sim::DebugArgument::Int32(U32(n["u32"], field + ".u32"));
      return sim::DebugArgument::String(ctx.String(n["string"], field + ".string"));
    }
    if (!n.IsScalar()) ctx.Fail(n, field, "expected a number or a text", "write 42, -1, 0x1F, {u64: N} or a text");
    const std::string s = n.Scalar();
    const bool quoted = n.Tag() == "!";
    if (!quoted && !s.empty() && s[0] == '-') {
      char* end = nullptr;
      const unsigned long long m = std::strtoull(s.c_str() + 1, &end, 0);
      if (s.size() < 2 || *end != 0 || m > 0x80000000ull) {
        ctx.Fail(n, field, "`" + s + "` is no 32-bit number", "write a number from -2147483648 to 0xFFFFFFFF");
      }
      return sim::DebugArgument::Int32(static_cast<uint32_t>(0 - m));
    }
    if (!quoted && !s.empty() && s[0] >= '0' && s[0] <= '9') return sim::DebugArgument::Int32(U32(n, field));
    return sim::DebugArgument::String(s);
  }

  void DebugRecord(const YAML::Node& n, const std::string& field, TraceCode& code) const {
    ctx.RequireMap(n, field, {"level", "format", "args"});
    if (!n["level"] || !n["format"]) ctx.Fail(n, field, "a debug record needs `level` and `format`", "add both keys");
    code.data = TraceCode::Data::Debug;
    code.debug_level = U32(n["level"], field + ".level");
    code.format = ctx.String(n["format"], field + ".format");
    size_t bytes = 0;
    if (n["args"]) {
      ctx.RequireSequence(n["args"], field + ".args");
      for (size_t i = 0; i < n["args"].size(); ++i) {
        code.args.push_back(Argument(n["args"][i], field + ".args[" + std::to_string(i) + "]"));
        bytes += code.args.back().kind == sim::DebugArgument::Kind::Int64 ? 8 : 4;
      }
      if (bytes > sim::kDebugArgumentListSize) {
        ctx.Fail(n["args"], field + ".args", "the arguments take " + std::to_string(bytes) + " bytes",
                 "a debug record holds 96: 24 numbers, strings or pointers, a {u64:} counting as two");
      }
    }
  }

  TraceCode Parse(const YAML::Node& n, const std::string& field) const {
    ctx.RequireMap(
        n, field,
        {"class", "severity", "type", "value", "instance", "caller_guid", "debug", "assertion", "string", "record"});
    TraceCode code;
    code.origin = ctx.Origin(n);
    if (n["type"]) {
      if (n["class"] || n["severity"]) {
        ctx.Fail(n["type"], field + ".type", "`type` given with `class` or `severity`",
                 "give either `type` or those two");
      }
      code.type = U32(n["type"], field + ".type");
    } else {
      if (!n["class"])
        ctx.Fail(n, field, "no `class`", "add class: progress, error or debug (or give the whole `type`)");
      uint32_t cls = Class(n["class"], field + ".class");
      uint32_t severity = n["severity"] ? Severity(n["severity"], field + ".severity") : cls == kErrorClass ? 0x80 : 0;
      code.type = (severity << 24) | cls;
    }
    if (n["value"]) code.value = U32(n["value"], field + ".value");
    if (n["instance"]) code.instance = U32(n["instance"], field + ".instance");
    if (n["caller_guid"]) code.caller = ctx.Guid(n["caller_guid"], field + ".caller_guid");
    int records = 0;
    for (const char* key : {"debug", "assertion", "string", "record"}) records += n[key] ? 1 : 0;
    if (records > 1) ctx.Fail(n, field, "more than one data record", "keep one of debug, assertion, string, record");
    if (n["debug"]) DebugRecord(n["debug"], field + ".debug", code);
    if (const YAML::Node a = n["assertion"]) {
      ctx.RequireMap(a, field + ".assertion", {"file", "line", "text"});
      code.data = TraceCode::Data::Assertion;
      if (a["file"]) code.file = ctx.String(a["file"], field + ".assertion.file");
      if (a["line"]) code.line = U32(a["line"], field + ".assertion.line");
      if (a["text"]) code.text = ctx.String(a["text"], field + ".assertion.text");
    }
    if (const YAML::Node s = n["string"]) {
      code.data = TraceCode::Data::String;
      if (s.IsMap()) {
        ctx.RequireMap(s, field + ".string", {"text", "type"});
        if (s["text"]) code.text = ctx.String(s["text"], field + ".string.text");
        if (s["type"]) code.string_type = U32(s["type"], field + ".string.type");
      } else {
        code.text = ctx.String(s, field + ".string");
      }
    }
    if (const YAML::Node r = n["record"]) {
      ctx.RequireMap(r, field + ".record", {"guid", "bytes"});
      if (!r["guid"]) ctx.Fail(r, field + ".record", "a record needs its type `guid`", "add guid: 8-4-4-4-12");
      code.data = TraceCode::Data::Other;
      code.record_guid = ctx.Guid(r["guid"], field + ".record.guid");
      if (r["bytes"]) code.record_bytes = ctx.HexBytes(r["bytes"], field + ".record.bytes");
    }
    return code;
  }
};

}  // namespace

std::vector<TraceCode> ParseTraceCodes(const std::string& text, const std::string& file_name) {
  sim::BoardFileContext ctx(file_name);
  YAML::Node root;
  try {
    root = YAML::Load(text);
  } catch (const YAML::Exception& e) {
    throw sim::BoardFileError(file_name, e.mark.line >= 0 ? e.mark.line + 1 : 0, "", "YAML syntax: " + e.msg,
                              "fix the syntax at that line");
  }
  ctx.RequireMap(root, "", {"codes"});
  if (!root["codes"])
    ctx.Fail(root, "codes", "no `codes` list", "start the file with `codes:` and one `- class: ...` per code");
  ctx.RequireSequence(root["codes"], "codes");
  CodesParser parser{ctx};
  std::vector<TraceCode> codes;
  for (size_t i = 0; i < root["codes"].size(); ++i) {
    codes.push_back(parser.Parse(root["codes"][i], "codes[" + std::to_string(i) + "]"));
  }
  return codes;
}

std::vector<TraceCode> LoadTraceCodes(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw sim::BoardFileError(path, 0, "", "cannot read the file", "check the path and its permissions");
  std::ostringstream text;
  text << in.rdbuf();
  return ParseTraceCodes(text.str(), path);
}

}  // namespace boardsim
