// A file whose clusters lie in several stretches of the card, read as one source: its bytes in
// order, from stretches of another source.
#pragma once

#include <cstdint>
#include <vector>

#include "core/byte_source.h"

namespace ember::fs {

struct extent_t {
    uint64_t offset = 0;  // in the underlying source
    uint64_t length = 0;
};

class extent_source_c final : public byte_source_i {
public:
    // The first `size` bytes of the extents laid end to end (fewer when they hold fewer).
    extent_source_c(byte_source_i& source, std::vector<extent_t> extents, uint64_t size);
    size_t read_at(uint64_t offset, uint8_t* buf, size_t len) override;
    uint64_t size() const override { return size_; }
    const std::vector<extent_t>& extents() const { return extents_; }

private:
    byte_source_i& source_;
    std::vector<extent_t> extents_;
    std::vector<uint64_t> starts_;  // each extent's first byte in the file
    uint64_t size_ = 0;
};

}  // namespace ember::fs
