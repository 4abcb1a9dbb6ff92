// Allocation of the SiliconContext below 4 GiB clear of the platform's windows, and its byte access.
#include "sim/pei/silicon_context_buffer.h"

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/common/host_pages.h"
#include "uefi/silicon_context_layout.h"

namespace sim {

SiliconContextBuffer::SiliconContextBuffer(std::span<const ReservedRange> reserved)
    : size_(SiliconContextLayout::Size) {
  void* p = MapBelow4GiB(size_, reserved);
  if (p == nullptr) {
    std::fprintf(stderr, "simulator: cannot place the SiliconContext (%u bytes) below 4 GiB clear of the windows\n",
                 size_);
    std::abort();
  }
  data_ = static_cast<uint8_t*>(p);  // anonymous mappings are zero-filled
}

SiliconContextBuffer::~SiliconContextBuffer() { munmap(data_, size_); }

void SiliconContextBuffer::Apply(const ContextBytes& bytes) {
  if (bytes.position > size_ || bytes.bytes.size() > size_ - bytes.position) {
    std::fprintf(stderr, "simulator: silicon context bytes at 0x%X (%zu bytes) pass the record's end 0x%X\n",
                 bytes.position, bytes.bytes.size(), size_);
    std::abort();
  }
  if (!bytes.bytes.empty()) std::memcpy(data_ + bytes.position, bytes.bytes.data(), bytes.bytes.size());
}

uint32_t SiliconContextBuffer::Read32(uint32_t position) const {
  uint32_t v = 0;
  for (unsigned i = 0; i < 4; ++i) v |= static_cast<uint32_t>(data_[position + i]) << (8 * i);
  return v;
}

void SiliconContextBuffer::SetMmcfgWords(unsigned segment, uint32_t low, uint32_t high) {
  Write32(SiliconContextLayout::MmcfgHighWord + 4 * segment, high);
  Write32(SiliconContextLayout::MmcfgLowWord + 4 * segment, low);
}

}  // namespace sim
