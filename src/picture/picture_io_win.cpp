#include "picture/picture_io_win.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "base/unicode_text.h"
#include "base/wide_text_win.h"
#include "picture/picture_bytes.h"
#include "picture/png_text.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

// The UI thread may start GDI+ too, so the one start-up is guarded process-wide.
INIT_ONCE gdiplus_once = INIT_ONCE_STATIC_INIT;
bool is_gdiplus_started = false;

BOOL CALLBACK start_gdiplus_once(INIT_ONCE*, void*, void**) {
    GdiplusStartupInput input;
    ULONG_PTR token = 0;
    is_gdiplus_started = GdiplusStartup(&token, &input, nullptr) == Ok;
    return TRUE;
}

struct gdip_image_c {
    GpBitmap* bitmap = nullptr;
    ~gdip_image_c() {
        if (bitmap) GdipDisposeImage(bitmap);
    }
};

int copy_locked_rows(GpBitmap* bitmap, PixelFormat format, picture_t& picture) {
    GpRect rect{0, 0, picture.width, picture.height};
    BitmapData data{};
    if (GdipBitmapLockBits(bitmap, &rect, ImageLockModeRead, format, &data) != Ok) return -1;
    size_t row_bytes = picture.stride;
    size_t source_stride = static_cast<size_t>(data.Stride < 0 ? -data.Stride : data.Stride);
    if (source_stride < row_bytes) row_bytes = source_stride;
    for (int32_t y = 0; y < picture.height; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(data.Scan0) + ptrdiff_t(y) * data.Stride;
        std::memcpy(picture.bits + size_t(y) * picture.stride, row, row_bytes);
    }
    GdipBitmapUnlockBits(bitmap, &data);
    return 0;
}

int indexed_depth(PixelFormat format) {
    if (format == PixelFormat1bppIndexed) return 1;
    if (format == PixelFormat4bppIndexed) return 4;
    if (format == PixelFormat8bppIndexed) return 8;
    return 0;
}

int convert_bitmap(GpBitmap* bitmap, picture_t& picture) {
    UINT width = 0, height = 0;
    PixelFormat format = 0;
    if (GdipGetImageWidth(bitmap, &width) != Ok || GdipGetImageHeight(bitmap, &height) != Ok ||
        GdipGetImagePixelFormat(bitmap, &format) != Ok)
        return -1;
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX ||
        uint64_t(width) * height > max_picture_pixels)
        return -1;
    int32_t w = static_cast<int32_t>(width), h = static_cast<int32_t>(height);
    if (IsAlphaPixelFormat(format)) {
        if (create_picture(picture, w, h, 32) != 0) return -1;
        return copy_locked_rows(bitmap, PixelFormat32bppARGB, picture);
    }
    if (int depth = indexed_depth(format)) {
        INT palette_bytes = 0;
        if (GdipGetImagePaletteSize(bitmap, &palette_bytes) != Ok ||
            palette_bytes < static_cast<INT>(sizeof(ColorPalette)))
            return -1;
        std::unique_ptr<uint8_t[]> storage(new uint8_t[palette_bytes]);
        auto* palette = reinterpret_cast<ColorPalette*>(storage.get());
        if (GdipGetImagePalette(bitmap, palette, palette_bytes) != Ok) return -1;
        UINT count = palette->Count;
        if (count < 1 || count > 256 ||
            sizeof(ColorPalette) + (count - 1) * sizeof(ARGB) > size_t(palette_bytes))
            return -1;
        RGBQUAD colours[256] = {};
        for (UINT i = 0; i < count; ++i) {
            ARGB c = palette->Entries[i];
            colours[i] = RGBQUAD{static_cast<BYTE>(c), static_cast<BYTE>(c >> 8),
                                 static_cast<BYTE>(c >> 16), 0};
        }
        // A palette longer than the depth allows (GDI+ may report 256 for 4 bits) goes up a depth.
        if (count > (1u << depth)) depth = 8;
        if (create_picture(picture, w, h, depth, colours, count) != 0) return -1;
        return copy_locked_rows(bitmap, depth == indexed_depth(format) ? format : PixelFormat8bppIndexed,
                                picture);
    }
    if (format == PixelFormat24bppRGB) {
        if (create_picture(picture, w, h, 24) != 0) return -1;
        return copy_locked_rows(bitmap, PixelFormat24bppRGB, picture);
    }
    if (create_picture(picture, w, h, 32) != 0) return -1;
    return copy_locked_rows(bitmap, PixelFormat32bppRGB, picture);
}

// The encoder whose extension list ("*.BMP;*.DIB;*.RLE") holds `extension`, case ignored.
bool find_encoder(const std::u16string& extension, CLSID& clsid) {
    UINT count = 0, bytes = 0;
    if (extension.empty() || GdipGetImageEncodersSize(&count, &bytes) != Ok || count == 0) return false;
    std::unique_ptr<uint8_t[]> storage(new uint8_t[bytes]);
    auto* codecs = reinterpret_cast<ImageCodecInfo*>(storage.get());
    if (GdipGetImageEncoders(count, bytes, codecs) != Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (!codecs[i].FilenameExtension) continue;
        std::u16string list(reinterpret_cast<const char16_t*>(codecs[i].FilenameExtension));
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find(u';', start);
            if (end == std::u16string::npos) end = list.size();
            std::u16string entry = list.substr(start, end - start);
            size_t dot = entry.find_last_of(u'.');
            if (dot != std::u16string::npos &&
                equals_ignoring_case(std::u16string_view(entry).substr(dot), extension)) {
                clsid = codecs[i].Clsid;
                return true;
            }
            start = end + 1;
        }
    }
    return false;
}

}  // namespace

bool start_gdiplus() {
    InitOnceExecuteOnce(&gdiplus_once, start_gdiplus_once, nullptr, nullptr);
    return is_gdiplus_started;
}

int read_whole_file(const std::u16string& path, std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (path.empty()) return -1;
    // The size only gates the attempt; it is taken in full so that a file of 4 GiB and a few
    // bytes is not mistaken for a small one.
    uint64_t size = 0;
    {
        file_handle_c file(CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER large{};
        if (file.is_valid() && GetFileSizeEx(file.get(), &large) && large.QuadPart > 0)
            size = uint64_t(large.QuadPart);
    }
    if (size == 0 || size > max_found_file_bytes) return -1;
    std::FILE* in = _wfopen(wide(path), L"rb");
    if (!in) return -1;
    try {
        bytes.reserve(static_cast<size_t>(size));
        uint8_t chunk[65536];
        size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
            // The file may have grown since its size was taken; the limit still holds.
            if (bytes.size() + got > max_found_file_bytes) {
                std::fclose(in);
                bytes.clear();
                return -1;
            }
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
    } catch (...) {
        std::fclose(in);
        bytes.clear();
        return -1;
    }
    bool is_read_error = std::ferror(in) != 0;
    std::fclose(in);
    if (is_read_error) bytes.clear();
    return bytes.empty() ? -1 : 0;
}

int read_file_start(const std::u16string& path, size_t limit, std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (path.empty() || limit == 0) return -1;
    std::FILE* in = _wfopen(wide(path), L"rb");
    if (!in) return -1;
    bool is_read_error = false;
    try {
        bytes.resize(limit);
        size_t got = 0, n = 0;
        while (got < limit && (n = std::fread(bytes.data() + got, 1, limit - got, in)) > 0) got += n;
        is_read_error = std::ferror(in) != 0;
        bytes.resize(got);
    } catch (...) {
        is_read_error = true;
    }
    std::fclose(in);
    if (is_read_error) bytes.clear();
    return bytes.empty() ? -1 : 0;
}

int decode_picture(const uint8_t* bytes, size_t size, picture_t& picture) {
    picture.reset();
    if (!bytes || size == 0 || !start_gdiplus()) return -1;
    // GDI+ sees only whole structures of the five formats, never the file as it came.
    std::vector<uint8_t> checked;
    prepare_picture_bytes(bytes, size, checked);
    if (checked.empty()) return -1;
    // The stream borrows the block (it does not free it on release).
    global_memory_c block(GlobalAlloc(GMEM_MOVEABLE, checked.size()));
    void* target = block.is_valid() ? GlobalLock(block.get()) : nullptr;
    if (!target) return -1;
    std::memcpy(target, checked.data(), checked.size());
    GlobalUnlock(block.get());
    int result = -1;
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(block.get(), FALSE, &stream) == S_OK) {
        {
            gdip_image_c image;
            if (GdipCreateBitmapFromStream(stream, &image.bitmap) == Ok && image.bitmap)
                result = convert_bitmap(image.bitmap, picture);
        }
        stream->Release();
    }
    if (result != 0) picture.reset();
    return result;
}

// Read first and decoded from memory: under Wine that takes half the time of letting GDI+ open the
// file itself, and the grid loads a screenful of thumbnails at once.
int load_picture_file(const char* path, picture_t& picture) {
    picture.reset();
    std::vector<uint8_t> bytes;
    if (read_whole_file(from_ansi(path), bytes) != 0) return -1;
    return decode_picture(bytes, picture);
}

namespace {

// The picture encoded into memory with the GDI+ encoder `encoder`; empty when it cannot be.
std::vector<uint8_t> encode_picture(GpBitmap* bitmap, const CLSID& encoder) {
    std::vector<uint8_t> bytes;
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(nullptr, TRUE, &stream) != S_OK) return bytes;
    LARGE_INTEGER start{};
    ULARGE_INTEGER end{};
    if (GdipSaveImageToStream(bitmap, stream, &encoder, nullptr) == Ok &&
        stream->Seek(start, STREAM_SEEK_CUR, &end) == S_OK && end.QuadPart > 0 &&
        end.QuadPart <= max_found_file_bytes && stream->Seek(start, STREAM_SEEK_SET, nullptr) == S_OK) {
        bytes.resize(static_cast<size_t>(end.QuadPart));
        ULONG got = 0;
        if (stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &got) != S_OK || got != bytes.size())
            bytes.clear();
    }
    stream->Release();
    return bytes;
}

constexpr char source_size_keyword[] = "Source size";

}  // namespace

void save_thumbnail(const picture_t& source, const std::u16string& thumb_path, const found_size_t& source_size,
                    const pixel_area_t* area) {
    picture_t thumbnail;
    if (!start_gdiplus() || create_picture(thumbnail, thumbnail_width, thumbnail_height, 24) != 0)
        return;
    if (draw_picture(source, thumbnail, HALFTONE, area) != 0) return;
    CLSID encoder{};
    if (thumb_path.empty() || !find_encoder(lower_extension(thumb_path), encoder)) return;
    gdip_image_c image;
    if (GdipCreateBitmapFromHBITMAP(thumbnail.bitmap.get(), nullptr, &image.bitmap) != Ok) return;
    std::vector<uint8_t> bytes = encode_picture(image.bitmap, encoder);
    if (bytes.empty()) return;
    if (source_size.width > 0 && source_size.height > 0)
        add_png_text(bytes, source_size_keyword,
                     std::to_string(source_size.width) + "x" + std::to_string(source_size.height));
    std::FILE* out = _wfopen(wide(thumb_path), L"wb");
    if (!out) return;
    bool is_written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    // A thumbnail cut short would be taken as made when the scan is loaded again.
    if (std::fclose(out) != 0 || !is_written) DeleteFileW(wide(thumb_path));
}

bool read_thumbnail_source_size(const std::u16string& thumb_path, found_size_t& size) {
    // The size is written right after the header, within the first few dozen bytes.
    constexpr size_t head_bytes = 256;
    std::vector<uint8_t> head;
    std::string text;
    if (read_file_start(thumb_path, head_bytes, head) != 0 ||
        !find_png_text(head.data(), head.size(), source_size_keyword, text, 24))
        return false;
    // "<width>x<height>", each 1 to 7 digits.
    int32_t values[2] = {0, 0};
    size_t at = 0;
    for (int i = 0; i < 2; ++i) {
        size_t digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 7) {
            values[i] = values[i] * 10 + (text[at++] - '0');
            ++digits;
        }
        if (digits == 0 || values[i] == 0) return false;
        if (i == 0 && (at >= text.size() || text[at++] != 'x')) return false;
    }
    if (at != text.size()) return false;
    size.width = values[0];
    size.height = values[1];
    return true;
}
