// Capture files named by board files, and their errors.
#include "sim/board/captures/capture_files.h"

#include <filesystem>
#include <fstream>

#include "sim/common/hex_text.h"

namespace sim {

namespace {

CaptureFile ReadPath(const BoardFileContext& c, const YAML::Node& node, const std::string& field,
                     const std::string& path, size_t max_bytes) {
  const std::string fix = "give the path of a capture file, relative to the board file";
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) c.Fail(node, field, "`" + path + "` is not a readable file", fix);
  std::ifstream in(path, std::ios::binary);
  if (!in) c.Fail(node, field, "cannot open `" + path + "`", fix);
  CaptureFile file{path, {}};
  char buffer[65536];
  while (in) {
    in.read(buffer, sizeof buffer);
    file.bytes.insert(file.bytes.end(), buffer, buffer + in.gcount());
    if (file.bytes.size() > max_bytes)
      c.Fail(node, field, "`" + path + "` holds more than " + std::to_string(max_bytes) + " bytes",
             "give the capture file itself; no capture is that large");
  }
  if (in.bad()) c.Fail(node, field, "reading `" + path + "` failed", fix);
  return file;
}

}  // namespace

std::string CapturePath(const BoardFileContext& c, const std::string& name) {
  const std::filesystem::path given(name);
  if (given.is_absolute()) return name;
  return (std::filesystem::path(c.File()).parent_path() / given).string();
}

CaptureFile ReadCaptureFile(const BoardFileContext& c, const YAML::Node& node, const std::string& field,
                            size_t max_bytes) {
  return ReadPath(c, node, field, CapturePath(c, c.String(node, field)), max_bytes);
}

CaptureFile ReadCaptureFileIn(const BoardFileContext& c, const YAML::Node& node, const std::string& field,
                              const std::string& dir, const std::string& name) {
  return ReadPath(c, node, field, (std::filesystem::path(dir) / name).string(), kMaxCaptureFileBytes);
}

void FailBinaryCapture(const BoardFileContext& c, const YAML::Node& node, const std::string& field,
                       const std::string& path, const CaptureError& e) {
  c.Fail(node, field, "`" + path + "` at offset " + Hex(e.Where(), 2) + ": " + e.what(), e.Fix());
}

void FailTextCapture(const std::string& path, const std::string& field, const CaptureError& e) {
  throw BoardFileError(path, static_cast<int>(e.Where()), field, e.what(), e.Fix());
}

}  // namespace sim
