// The dump-text reader: one pass over the lines, each line looked at once.
#include "sim/board/captures/lspci_dump_reader.h"

#include <map>

#include "sim/board/captures/capture_error.h"
#include "sim/common/hex_text.h"

namespace sim {

namespace {

constexpr size_t kLineBytes = 16;
constexpr size_t kMaxConfigBytes = 4096;
constexpr const char* kHeaderFix = "start each function with `BB:DD.F description` or `DDDD:BB:DD.F description`";
constexpr const char* kLineFix = "give the line as lspci prints it: the offset, a colon and 16 hex bytes";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Reads exactly `digits` hex digits at `pos` (advancing it); false when they are not there.
bool HexField(std::string_view s, size_t& pos, size_t digits, unsigned& value) {
  if (s.size() - pos < digits) return false;
  value = 0;
  for (size_t i = 0; i < digits; ++i) {
    const int d = HexDigit(s[pos + i]);
    if (d < 0) return false;
    value = value << 4 | static_cast<unsigned>(d);
  }
  pos += digits;
  return true;
}

struct Open {
  DumpedFunction function;
  size_t last_line = 0;  // the last line of its bytes (where a truncation is reported)
};

class DumpReader {
 public:
  std::vector<DumpedFunction> Read(std::string_view text) {
    size_t start = 0;
    size_t number = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      Line(line, ++number);
      start = end + 1;
    }
    Close();
    return std::move(out_);
  }

 private:
  void Line(std::string_view line, size_t number) {
    size_t first = 0;
    while (first < line.size() && IsBlank(line[first])) ++first;
    if (first == line.size()) {  // blank: ends the open function
      Close();
      return;
    }
    if (first > 0) {  // an indented decode line of lspci -v
      if (!open_) throw CaptureError(number, "indented text before any function header", kHeaderFix);
      return;
    }
    // Both kinds of line start with hex digits and a colon; a data line has a space or nothing after it.
    size_t colon = 0;
    while (colon < line.size() && HexDigit(line[colon]) >= 0) ++colon;
    if (colon < line.size() && line[colon] == ':' && (colon + 1 == line.size() || IsBlank(line[colon + 1]))) {
      Data(line, colon, number);
    } else {
      Header(line, number);
    }
  }

  void Header(std::string_view line, size_t number) {
    Close();
    unsigned domain = 0, bus = 0, device = 0, function = 0;
    size_t pos = 0;
    const bool with_domain = line.size() > 4 && line[4] == ':';
    bool ok = true;
    if (with_domain) ok = HexField(line, pos, 4, domain) && line[pos++] == ':';
    ok = ok && HexField(line, pos, 2, bus) && pos < line.size() && line[pos++] == ':';
    ok = ok && HexField(line, pos, 2, device) && pos < line.size() && line[pos++] == '.';
    ok = ok && HexField(line, pos, 1, function) && (pos == line.size() || IsBlank(line[pos]));
    if (!ok) {
      throw CaptureError(
          number, "`" + std::string(line.substr(0, 40)) + "` is neither a function header nor a dump line", kHeaderFix);
    }
    if (device > 0x1F || function > 7)
      throw CaptureError(number, "device or function number out of range in `" + std::string(line.substr(0, pos)) + "`",
                         "devices are 00 to 1f, functions 0 to 7");
    Open o;
    o.function.location = {static_cast<uint16_t>(domain), static_cast<uint8_t>(bus), static_cast<uint8_t>(device),
                           static_cast<uint8_t>(function)};
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    o.function.description = std::string(line.substr(pos));
    o.function.line = number;
    o.last_line = number;
    auto [it, fresh] = lines_.emplace(o.function.location, number);
    if (!fresh) {
      throw CaptureError(
          number,
          "function " + ToString(o.function.location) + " twice (first at line " + std::to_string(it->second) + ")",
          "keep one copy of each function");
    }
    open_ = true;
    current_ = std::move(o);
  }

  void Data(std::string_view line, size_t colon, size_t number) {
    if (!open_) throw CaptureError(number, "dump line before any function header", kHeaderFix);
    std::vector<uint8_t>& bytes = current_.function.config;
    if (colon < 2 || colon > 3)
      throw CaptureError(number, "offset `" + std::string(line.substr(0, colon)) + "` is not 2 or 3 hex digits",
                         kLineFix);
    unsigned offset = 0;
    size_t pos = 0;
    HexField(line, pos, colon, offset);
    if (offset != bytes.size()) {
      if (bytes.size() >= kMaxConfigBytes)
        throw CaptureError(number, "offset " + Hex(offset, 3) + " lies past the 4096-byte configuration space",
                           "end the function after offset ff0");
      throw CaptureError(number, "offset " + Hex(offset, 2) + " out of order: " + Hex(bytes.size(), 2) + " comes next",
                         "give the function's lines in order from 00, one per 16 bytes, none left out");
    }
    pos = colon + 1;
    size_t count = 0;
    for (; count < kLineBytes; ++count) {
      if (pos == line.size()) break;
      unsigned value = 0;
      if (!IsBlank(line[pos]) || (++pos, !HexField(line, pos, 2, value)) ||
          (pos < line.size() && !IsBlank(line[pos]))) {
        throw CaptureError(number, "malformed dump line: byte " + std::to_string(count) + " is not two hex digits",
                           kLineFix);
      }
      bytes.push_back(static_cast<uint8_t>(value));
    }
    if (count < kLineBytes)
      throw CaptureError(number, "truncated dump line: " + std::to_string(count) + " bytes where a line holds 16",
                         kLineFix);
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos != line.size()) throw CaptureError(number, "malformed dump line: text after the 16th byte", kLineFix);
    current_.last_line = number;
  }

  void Close() {
    if (!open_) return;
    open_ = false;
    const size_t n = current_.function.config.size();
    if (n != 64 && n != 256 && n != 4096) {
      const std::string what = "function " + ToString(current_.function.location);
      throw CaptureError(current_.last_line,
                         n == 0 ? what + " has no configuration bytes"
                                : what + " stops after " + std::to_string(n) + " bytes: the dump is truncated",
                         "capture with `lspci -x` (64 bytes), `-xxx` (256) or `-xxxx` (4096) and keep every line");
    }
    out_.push_back(std::move(current_.function));
  }

  std::vector<DumpedFunction> out_;
  std::map<PciLocation, size_t> lines_;
  Open current_;
  bool open_ = false;
};

}  // namespace

std::vector<DumpedFunction> ReadLspciDump(std::string_view text) { return DumpReader().Read(text); }

}  // namespace sim
