// The card as the scan's pass sees it: reads that fall in the bytes the pass holds in memory at
// the moment (the chunk being scanned, the piece of a find being copied) are served from there,
// the rest from the card. The fragment search looks through the pass's bytes with it, so that
// looking costs no read of the card.
#pragma once

#include <cstdint>
#include <span>

#include "core/byte_source.h"

namespace ember::fs {

class pass_window_c final : public byte_source_i {
public:
    explicit pass_window_c(byte_source_i& card) : card_(card) {}
    size_t read_at(uint64_t offset, uint8_t* buf, size_t len) override;
    uint64_t size() const override { return card_.size(); }
    const uint8_t* contiguous() const override { return card_.contiguous(); }

    // Shows the bytes at offset for as long as the scope lives.
    class scope_c {
    public:
        scope_c(pass_window_c& window, uint64_t offset, std::span<const uint8_t> bytes);
        ~scope_c();
        scope_c(const scope_c&) = delete;
        scope_c& operator=(const scope_c&) = delete;

    private:
        pass_window_c& window_;
        uint64_t offset_;
        std::span<const uint8_t> bytes_;
    };

private:
    byte_source_i& card_;
    uint64_t offset_ = 0;
    std::span<const uint8_t> bytes_;
};

}  // namespace ember::fs
