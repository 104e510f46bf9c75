// A card in memory read as a device is, every byte it hands out counted: the crafted-card tests
// bound the engine's work by what it reads.
#pragma once

#include <cstdint>
#include <vector>

#include "core/byte_source.h"

namespace ember {

class counting_source_c final : public byte_source_i {
public:
    explicit counting_source_c(const std::vector<uint8_t>& bytes) : inner_(bytes) {}
    size_t read_at(uint64_t offset, uint8_t* buf, size_t len) override {
        size_t n = inner_.read_at(offset, buf, len);
        bytes_read += n;
        return n;
    }
    uint64_t size() const override { return inner_.size(); }
    uint64_t bytes_read = 0;

private:
    memory_source_c inner_;
};

}  // namespace ember
