// The problem a capture reader finds in what it was handed: where (a 1-based line of a text capture, or a byte
// offset of a binary one), what is wrong, and how to fix it. The board-file sections turn it into a
// BoardFileError naming the capture file.
#pragma once
#include <cstddef>
#include <stdexcept>
#include <string>

namespace sim {

class CaptureError : public std::runtime_error {
 public:
  CaptureError(size_t where, const std::string& problem, std::string fix)
      : std::runtime_error(problem), where_(where), fix_(std::move(fix)) {}
  size_t Where() const { return where_; }  // line (text) or offset (binary)
  const std::string& Fix() const { return fix_; }

 private:
  size_t where_;
  std::string fix_;
};

}  // namespace sim
