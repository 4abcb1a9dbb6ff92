// Platform configuration values by token number and the PCD PPI that serves them to module code.
#pragma once
#include <cstdint>
#include <map>

#include "sim/common/violations.h"
#include "uefi/protocols/pcd_ppi.h"

namespace sim {

class PcdDatabase {
 public:
  explicit PcdDatabase(Violations& violations);
  PcdDatabase(const PcdDatabase&) = delete;
  PcdDatabase& operator=(const PcdDatabase&) = delete;

  void SetValue(UINTN token, uint64_t value);
  void SetPointer(UINTN token, void* pointer, UINTN size);

  // The PPI's functions take only the token, so they serve the database of the attached PEI platform.
  PCD_PPI* ppi() { return &ppi_; }
  // Reads of a token through the PPI.
  uint64_t Reads(UINTN token) const;

  // Served to the PPI; an unknown token or a read of the wrong kind reports a violation and reads 0.
  uint64_t Get64(UINTN token);
  void* GetPtr(UINTN token);
  UINTN GetSize(UINTN token);

  Violations& violations() { return violations_; }

 private:
  struct Token {
    bool pointer = false;
    uint64_t value = 0;
    void* address = nullptr;
    UINTN size = 0;
  };
  const Token* Find(UINTN token, const char* function);

  Violations& violations_;
  PCD_PPI ppi_;
  std::map<UINTN, Token> tokens_;
  std::map<UINTN, uint64_t> reads_;
};

}  // namespace sim
