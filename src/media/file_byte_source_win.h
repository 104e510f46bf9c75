// An open file read through the engine's byte source, for the engine's walks that the front end
// shares (JPEG, TIFF and ISO media structure). Reads at an offset, so one handle serves any order.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/byte_source.h"

class file_source_c final : public ember::byte_source_i {
public:
    explicit file_source_c(HANDLE file) : file_(file) {
        LARGE_INTEGER size{};
        if (GetFileSizeEx(file, &size) && size.QuadPart > 0) size_ = uint64_t(size.QuadPart);
    }
    size_t read_at(uint64_t offset, uint8_t* buf, size_t len) override {
        OVERLAPPED at{};
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        DWORD got = 0;
        if (len > 0x10000000 || !ReadFile(file_, buf, DWORD(len), &got, &at)) return 0;
        return got;
    }
    uint64_t size() const override { return size_; }

private:
    HANDLE file_;  // borrowed
    uint64_t size_ = 0;
};
