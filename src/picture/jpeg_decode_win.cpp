#include "picture/jpeg_library_win.h"
#include "picture/jpeg_decode_win.h"

#include <csetjmp>
#include <cstring>
#include <initializer_list>

namespace {

// The decoder reports a fatal error through error_exit, which must not return: it jumps back
// to run_decoder. Warnings about the data (a bad code, a marker inside the data, the data
// running out while blocks still need it) mark the first output row they arose in: from there
// on the picture is not what the camera took. The source running out is no damage by itself:
// the decoder reads ahead, and a file that lost only its end marker still has every block.
struct decoder_context_t {
    jpeg_error_mgr error;  // first: the decoder's err pointer is this context
    std::jmp_buf jump;
    bool is_reading_rows = false;
    bool is_damaged = false;
    bool has_damage_row = false;
    JDIMENSION damage_row = 0;
};

// No picture needs more memory than this to decode (a 12 MP progressive photo needs 36 MiB).
constexpr long max_decoder_memory = 256L * 1024 * 1024;
constexpr uint8_t damage_grey = 0x80;

bool is_damage_warning(int code) {
    return code == JWRN_ARITH_BAD_CODE || code == JWRN_BOGUS_PROGRESSION || code == JWRN_EXTRANEOUS_DATA ||
           code == JWRN_HIT_MARKER || code == JWRN_HUFF_BAD_CODE || code == JWRN_MUST_RESYNC;
}

void on_error_exit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<decoder_context_t*>(cinfo->err)->jump, 1); }

void on_emit_message(j_common_ptr cinfo, int level) {
    auto* context = reinterpret_cast<decoder_context_t*>(cinfo->err);
    if (level >= 0 || !is_damage_warning(cinfo->err->msg_code) || context->is_damaged) return;
    context->is_damaged = true;
    // Photos of several scans are read whole before the first row comes out: their damage has
    // no row, and the decoder leaves what it lacks grey itself.
    if (context->is_reading_rows) {
        context->has_damage_row = true;
        context->damage_row = reinterpret_cast<j_decompress_ptr>(cinfo)->output_scanline;
    }
}

void on_output_message(j_common_ptr) {}

// The largest reduction (8, 4, 2 or none) that keeps the picture at least min_width x min_height.
unsigned pick_denominator(uint32_t width, uint32_t height, int32_t min_width, int32_t min_height) {
    for (unsigned d : {8u, 4u, 2u})
        if ((width + d - 1) / d >= uint32_t(min_width) && (height + d - 1) / d >= uint32_t(min_height)) return d;
    return 1;
}

enum class stage_t { nothing, cmyk, header, rows };

// Everything between setjmp and the decoder's last call: no object with a destructor lives in
// this frame, since error_exit leaves it by longjmp.
stage_t run_decoder(const jpeg_api_t& api, jpeg_decompress_struct* cinfo, decoder_context_t* context,
                    const uint8_t* data, size_t size, int32_t min_width, int32_t min_height, picture_t* picture,
                    jpeg_decode_t* info) {
    volatile stage_t stage = stage_t::nothing;  // read again after a longjmp
    if (setjmp(context->jump)) return stage;
    api.create_decompress(cinfo, JPEG_LIB_VERSION, sizeof *cinfo);
    cinfo->mem->max_memory_to_use = max_decoder_memory;
    api.mem_src(cinfo, data, static_cast<unsigned long>(size));
    if (api.read_header(cinfo, TRUE) != JPEG_HEADER_OK) return stage;
    if (cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK) return stage_t::cmyk;
    if (uint64_t(cinfo->image_width) * cinfo->image_height > max_picture_pixels) return stage;
    info->width = static_cast<int32_t>(cinfo->image_width);
    info->height = static_cast<int32_t>(cinfo->image_height);
    stage = stage_t::header;
    cinfo->out_color_space = JCS_EXT_BGR;  // a DIB's byte order, for grey photos too
    cinfo->scale_num = 1;
    cinfo->scale_denom = pick_denominator(cinfo->image_width, cinfo->image_height, min_width, min_height);
    cinfo->do_fancy_upsampling = FALSE;
    cinfo->do_block_smoothing = FALSE;
    api.start_decompress(cinfo);
    if (cinfo->output_components != 3 ||
        create_picture(*picture, static_cast<int32_t>(cinfo->output_width),
                       static_cast<int32_t>(cinfo->output_height), 24) != 0)
        return stage;
    stage = stage_t::rows;
    context->is_reading_rows = true;
    while (cinfo->output_scanline < cinfo->output_height) {
        constexpr JDIMENSION batch = 16;
        JSAMPROW rows[batch];
        JDIMENSION count = cinfo->output_height - cinfo->output_scanline;
        if (count > batch) count = batch;
        for (JDIMENSION i = 0; i < count; ++i) rows[i] = picture->bits + size_t(cinfo->output_scanline + i) * picture->stride;
        if (api.read_scanlines(cinfo, rows, count) == 0) break;
    }
    return stage;
}

}  // namespace

jpeg_decode_result_t decode_jpeg_reduced(const uint8_t* data, size_t size, int32_t min_width, int32_t min_height,
                                         picture_t& picture, jpeg_decode_t& info) {
    return decode_jpeg_reduced(jpeg_library(), data, size, min_width, min_height, picture, info);
}

jpeg_decode_result_t decode_jpeg_reduced(const jpeg_library_c& library, const uint8_t* data, size_t size,
                                         int32_t min_width, int32_t min_height, picture_t& picture,
                                         jpeg_decode_t& info) {
    picture.reset();
    info = jpeg_decode_t{};
    if (!library.is_loaded()) return jpeg_decode_result_t::not_handled;
    if (!data || size == 0 || size > 0xFFFFFFFFu) return jpeg_decode_result_t::refused;
    const jpeg_api_t& api = library.api();
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    decoder_context_t context;
    cinfo.err = api.std_error(&context.error);
    context.error.error_exit = on_error_exit;
    context.error.emit_message = on_emit_message;
    context.error.output_message = on_output_message;
    stage_t stage = run_decoder(api, &cinfo, &context, data, size, min_width, min_height, &picture, &info);
    JDIMENSION rows_done = cinfo.output_scanline, rows = cinfo.output_height;
    api.destroy_decompress(&cinfo);
    if (stage == stage_t::cmyk) return jpeg_decode_result_t::not_handled;
    if (stage != stage_t::rows) {
        picture.reset();
        info = jpeg_decode_t{};
        return jpeg_decode_result_t::refused;
    }
    // Rows never written (a fatal error stopped the decoder) and rows after the first damage
    // are painted grey.
    JDIMENSION grey_from = rows_done;
    if (context.has_damage_row && context.damage_row < grey_from) grey_from = context.damage_row;
    if (grey_from == 0) {
        picture.reset();
        info = jpeg_decode_t{};
        return jpeg_decode_result_t::refused;
    }
    for (JDIMENSION y = grey_from; y < rows; ++y)
        std::memset(picture.bits + size_t(y) * picture.stride, damage_grey, size_t(picture.width) * 3);
    info.is_damaged = context.is_damaged || grey_from < rows;
    info.whole_rows = static_cast<int32_t>(uint64_t(grey_from) * uint64_t(info.height) / rows);
    return jpeg_decode_result_t::ok;
}
