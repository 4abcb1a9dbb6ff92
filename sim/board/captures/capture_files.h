// Reading the capture files a board file names: paths relative to the board file's folder, regular files only,
// bounded in size; and turning a reader's CaptureError into the board file's FILE:LINE error.
#pragma once
#include <yaml-cpp/yaml.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/board/board_file_context.h"
#include "sim/board/captures/capture_error.h"

namespace sim {

constexpr size_t kMaxCaptureFileBytes = 64u << 20;

struct CaptureFile {
  std::string path;  // as opened: the board file's folder joined with the name given
  std::vector<uint8_t> bytes;
};

// The path of `name` (a file or folder named in the board file) relative to the board file's folder.
std::string CapturePath(const BoardFileContext& c, const std::string& name);
// Reads the file the string value `node` names. Fails at the node's line when it cannot be read, is not a
// regular file, or holds more than `max_bytes` (read up to that bound, so sysfs files work as they are).
CaptureFile ReadCaptureFile(const BoardFileContext& c, const YAML::Node& node, const std::string& field,
                            size_t max_bytes = kMaxCaptureFileBytes);
// A file of the folder `dir` (a `sysfs:` value); fails at the node's line like ReadCaptureFile.
CaptureFile ReadCaptureFileIn(const BoardFileContext& c, const YAML::Node& node, const std::string& field,
                              const std::string& dir, const std::string& name);

// A binary reader's error, reported at the board file's line of the field naming the capture.
[[noreturn]] void FailBinaryCapture(const BoardFileContext& c, const YAML::Node& node, const std::string& field,
                                    const std::string& path, const CaptureError& e);
// A text reader's error, reported at the capture file's own line.
[[noreturn]] void FailTextCapture(const std::string& path, const std::string& field, const CaptureError& e);

}  // namespace sim
