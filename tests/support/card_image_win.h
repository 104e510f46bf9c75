// The test card behind drive X: (a FAT image beside the prefix, reached here through Z:), and
// laying bytes on it for one test.
#pragma once

#include <windows.h>

#include <cstdint>
#include <fstream>
#include <string>

inline std::string card_image_path() {
    char prefix[1024] = {};
    if (!GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix)) return {};
    std::string path = std::string("Z:") + prefix + "/../test-card/card.img";
    for (char& c : path) if (c == '/') c = '\\';
    return path;
}

// Lays bytes on the card image at a sector and puts the old ones back afterwards.
class card_patch_c {
public:
    card_patch_c(const std::string& image, uint64_t sector, const std::string& bytes) : image_(image), sector_(sector) {
        std::fstream card(image_, std::ios::binary | std::ios::in | std::ios::out);
        is_ok_ = bool(card);
        old_.resize((bytes.size() + 511) / 512 * 512);
        card.seekg(std::streamoff(sector_ * 512));
        card.read(old_.data(), std::streamsize(old_.size()));
        std::string padded = bytes;
        padded.resize(old_.size(), '\0');
        card.seekp(std::streamoff(sector_ * 512));
        card.write(padded.data(), std::streamsize(padded.size()));
        is_ok_ = is_ok_ && bool(card);
    }
    ~card_patch_c() {
        std::fstream card(image_, std::ios::binary | std::ios::in | std::ios::out);
        card.seekp(std::streamoff(sector_ * 512));
        card.write(old_.data(), std::streamsize(old_.size()));
    }
    card_patch_c(const card_patch_c&) = delete;
    card_patch_c& operator=(const card_patch_c&) = delete;
    bool ok() const { return is_ok_; }

private:
    std::string image_;
    uint64_t sector_;
    std::string old_;
    bool is_ok_ = false;
};
