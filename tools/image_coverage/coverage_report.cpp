// Printing an image's block coverage.
#include "tools/image_coverage/coverage_report.h"

#include <cstdio>

#include "tools/image_coverage/hex_text.h"

namespace image_coverage {
namespace {

std::string Percent(double share) {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f%%", share);
  return text;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

}  // namespace

std::string CoverageText(const ImageCoverage& coverage) {
  std::string text = coverage.stem + ": " + std::to_string(coverage.blocks_reached) + "/" +
                     std::to_string(coverage.blocks_total) + " blocks reached (" + Percent(coverage.Share()) + ") in " +
                     std::to_string(coverage.functions.size()) + " functions, from " + std::to_string(coverage.ranges) +
                     " ranges of " + std::to_string(coverage.files) + " files";
  if (coverage.ranges_outside != 0) {
    text += " (" + std::to_string(coverage.ranges_outside) + " ranges start in no function)";
  }
  if (coverage.ranges_inside_blocks != 0) {
    text += " (" + std::to_string(coverage.ranges_inside_blocks) + " ranges start inside a block)";
  }
  text += "\n";
  size_t partial = 0;
  for (const FunctionCoverage& function : coverage.functions) {
    partial += function.unreached.empty() ? 0 : 1;
  }
  if (partial != 0) {
    text += "functions not reached in full: " + std::to_string(partial) + "\n";
  }
  for (const FunctionCoverage& function : coverage.functions) {
    if (function.unreached.empty()) {
      continue;
    }
    const CodeFunction& f = function.blocks->function;
    text += "  " + f.name + " [" + f.object + "]: " + std::to_string(function.reached) + "/" +
            std::to_string(function.blocks->blocks.size()) + " blocks\n    unreached:";
    // Ten addresses a line.
    for (size_t i = 0; i < function.unreached.size(); ++i) {
      text += (i != 0 && i % 10 == 0 ? "\n              " : "") + (" " + HexText(function.unreached[i]));
    }
    text += "\n";
    if (!function.reason.empty()) {
      text += "    reason: " + function.reason + "\n";
    }
  }
  if (!coverage.inside_starts.empty()) {
    text += "ranges starting inside a block:";
    for (uint32_t rva : coverage.inside_starts) {
      text += " " + HexText(rva);
    }
    text += "\n";
  }
  for (const std::string& note : coverage.notes) {
    text += "note: " + note + "\n";
  }
  return text;
}

std::string CoverageJson(const ImageCoverage& coverage) {
  char share[32];
  std::snprintf(share, sizeof share, "%.2f", coverage.Share());
  std::string json =
      "{\n  \"image\": " + JsonString(coverage.stem) +
      ",\n  \"blocks_total\": " + std::to_string(coverage.blocks_total) +
      ",\n  \"blocks_reached\": " + std::to_string(coverage.blocks_reached) + ",\n  \"share\": " + share +
      ",\n  \"files\": " + std::to_string(coverage.files) + ",\n  \"ranges\": " + std::to_string(coverage.ranges) +
      ",\n  \"ranges_outside\": " + std::to_string(coverage.ranges_outside) +
      ",\n  \"ranges_inside_blocks\": " + std::to_string(coverage.ranges_inside_blocks) + ",\n  \"inside_starts\": [";
  for (size_t i = 0; i < coverage.inside_starts.size(); ++i) {
    json += (i == 0 ? "" : ", ") + JsonString(HexText(coverage.inside_starts[i]));
  }
  json += "],\n  \"functions\": [";
  for (size_t i = 0; i < coverage.functions.size(); ++i) {
    const FunctionCoverage& function = coverage.functions[i];
    const CodeFunction& f = function.blocks->function;
    json += i == 0 ? "\n" : ",\n";
    json += "    {\"name\": " + JsonString(f.name) + ", \"symbol\": " + JsonString(f.symbol) +
            ", \"object\": " + JsonString(f.object) + ", \"rva\": " + JsonString(HexText(f.rva)) +
            ", \"size\": " + std::to_string(f.end - f.rva) +
            ", \"blocks_total\": " + std::to_string(function.blocks->blocks.size()) +
            ", \"blocks_reached\": " + std::to_string(function.reached) + ", \"unreached\": [";
    for (size_t j = 0; j < function.unreached.size(); ++j) {
      json += (j == 0 ? "" : ", ") + JsonString(HexText(function.unreached[j]));
    }
    json += "], \"reason\": " + JsonString(function.reason) + "}";
  }
  json += "\n  ],\n  \"notes\": [";
  for (size_t i = 0; i < coverage.notes.size(); ++i) {
    json += (i == 0 ? "" : ", ") + JsonString(coverage.notes[i]);
  }
  return json + "]\n}\n";
}

}  // namespace image_coverage
