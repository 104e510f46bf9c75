// Where the engine's bytes come from: a card, a disk image, or memory in tests and fuzzers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ember {

class byte_source_i {
public:
    virtual ~byte_source_i() = default;
    // Copies up to len bytes at offset into buf and returns how many it copied: fewer only at the
    // end of the source, or where it was lost. Sectors that cannot be read come back as zeros,
    // never as an error.
    virtual size_t read_at(uint64_t offset, uint8_t* buf, size_t len) = 0;
    virtual uint64_t size() const = 0;
    // The whole source as one block of memory, when it is one; lets readers skip the copy.
    virtual const uint8_t* contiguous() const { return nullptr; }

    // What reading a device has met so far (memory never fails): the sectors that could not be
    // read and came back as zeros, whether any of [offset, offset + len) is among them, and
    // whether the source went away (pulled out, gone, or shorter than its size), after which
    // every read gives nothing.
    virtual uint64_t unreadable_sectors() const { return 0; }
    virtual bool has_unreadable(uint64_t /*offset*/, uint64_t /*len*/) const { return false; }
    virtual bool is_lost() const { return false; }
};

// A source over bytes the caller keeps alive.
class memory_source_c final : public byte_source_i {
public:
    explicit memory_source_c(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    size_t read_at(uint64_t offset, uint8_t* buf, size_t len) override;
    uint64_t size() const override { return bytes_.size(); }
    const uint8_t* contiguous() const override { return bytes_.data(); }

private:
    std::span<const uint8_t> bytes_;
};

}  // namespace ember
