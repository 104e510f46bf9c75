// SHA-256 (FIPS 180-4), fed in pieces, so that a recovered file is hashed as it is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class sha256_c {
public:
    sha256_c();
    void update(const uint8_t* data, size_t size);
    // The digest; the object is spent afterwards.
    void finish(uint8_t (&digest)[32]);
    // The digest as 64 lower-case hexadecimal digits.
    std::string finish_hex();

private:
    void compress(const uint8_t* block);

    uint32_t state_[8];
    uint8_t block_[64];
    size_t block_used_ = 0;
    uint64_t total_bytes_ = 0;
};
