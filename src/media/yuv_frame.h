// A decoded video frame in the planar YUV 4:2:0 layouts video decoders hand out, turned into
// blue-green-red rows (a 24-bit DIB's order) with the BT.601 video-range coefficients.
#pragma once

#include <cstddef>
#include <cstdint>

enum class yuv_layout_t {
    i420,  // the Y plane, then the U plane, then the V plane, each chroma plane half the stride
    nv12,  // the Y plane, then one plane of U and V bytes in turn, with the luma stride
};

struct yuv_frame_t {
    const uint8_t* data = nullptr;
    size_t size = 0;
    yuv_layout_t layout = yuv_layout_t::i420;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t stride = 0;  // bytes of one luma row, at least `width`
};

// Bytes a frame of this layout, stride and height needs; 0 when the sizes make no frame (odd
// strides of I420 included).
uint64_t yuv_frame_bytes(yuv_layout_t layout, uint32_t width, uint32_t height, uint32_t stride);

// Writes the frame's rows into `bgr` (height rows of `bgr_stride` bytes, width * 3 used). False,
// writing nothing, when the frame's data is shorter than its sizes need.
bool yuv_to_bgr(const yuv_frame_t& frame, uint8_t* bgr, size_t bgr_stride);
