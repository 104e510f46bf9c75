// The test prefix's removable card: drive X: backed by the FAT image beside the prefix, which a
// test may lay bytes on for a scan to find.
#pragma once

#include <windows.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "base/wide_text_win.h"

// The card image behind X:, reached through Z: from the prefix's location.
inline std::string card_image_path() {
    char prefix[1024] = {};
    if (!GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix)) return {};
    std::string path = std::string("Z:") + prefix + "/../test-card/card.img";
    for (char& c : path) if (c == '/') c = '\\';
    return path;
}

// The volume name of X: (\\?\Volume{...}\), as the drive list gives it to a scan.
inline std::string card_volume_name() {
    wchar_t name[MAX_PATH] = {};
    if (!GetVolumeNameForVolumeMountPointW(L"X:\\", name, MAX_PATH)) return {};
    return to_ansi(from_wide(name));
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
