#include "media/yuv_frame.h"

namespace {

// Frames larger than 16384 x 16384 are no camera's.
constexpr uint32_t max_side = 16384;

uint8_t clamp(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

}  // namespace

uint64_t yuv_frame_bytes(yuv_layout_t layout, uint32_t width, uint32_t height, uint32_t stride) {
    if (width == 0 || height == 0 || width > max_side || height > max_side || stride < width || stride > 4 * max_side)
        return 0;
    uint64_t luma = uint64_t(stride) * height, chroma_rows = (uint64_t(height) + 1) / 2;
    if (layout == yuv_layout_t::nv12) return luma + uint64_t(stride) * chroma_rows;
    if (stride % 2 != 0) return 0;
    return luma + 2 * (uint64_t(stride) / 2) * chroma_rows;
}

bool yuv_to_bgr(const yuv_frame_t& frame, uint8_t* bgr, size_t bgr_stride) {
    uint64_t needed = yuv_frame_bytes(frame.layout, frame.width, frame.height, frame.stride);
    if (!frame.data || !bgr || needed == 0 || frame.size < needed || bgr_stride < size_t(frame.width) * 3) return false;
    const uint8_t* luma = frame.data;
    const uint8_t* chroma = frame.data + size_t(frame.stride) * frame.height;
    size_t chroma_stride = frame.layout == yuv_layout_t::nv12 ? frame.stride : frame.stride / 2;
    size_t v_plane = chroma_stride * ((size_t(frame.height) + 1) / 2);
    for (uint32_t y = 0; y < frame.height; ++y) {
        const uint8_t* y_row = luma + size_t(y) * frame.stride;
        const uint8_t* c_row = chroma + size_t(y / 2) * chroma_stride;
        uint8_t* out = bgr + size_t(y) * bgr_stride;
        for (uint32_t x = 0; x < frame.width; ++x) {
            int u, v;
            if (frame.layout == yuv_layout_t::nv12) {
                u = c_row[(x / 2) * 2] - 128;
                v = c_row[(x / 2) * 2 + 1] - 128;
            } else {
                u = c_row[x / 2] - 128;
                v = c_row[v_plane + x / 2] - 128;
            }
            // BT.601, video range: Y 16-235, U and V 16-240, in 1/256ths.
            int c = (y_row[x] - 16) * 298 + 128;
            out[x * 3 + 0] = clamp((c + 516 * u) >> 8);
            out[x * 3 + 1] = clamp((c - 100 * u - 208 * v) >> 8);
            out[x * 3 + 2] = clamp((c + 409 * v) >> 8);
        }
    }
    return true;
}
