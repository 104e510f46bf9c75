#include "media/jpeg_whole.h"

#include <span>

#include "fs/jpeg_entropy_check.h"

jpeg_whole_t check_jpeg_whole(const uint8_t* data, size_t size, jpeg_walked_t walked) {
    if (!data || size == 0) return jpeg_whole_t::damaged;
    ember::memory_source_c source(std::span<const uint8_t>(data, size));
    ember::fs::jpeg_entropy_check_c check;
    if (!check.start(source) || (walked == jpeg_walked_t::sequential_only && check.is_progressive()))
        return jpeg_whole_t::not_checked;
    uint64_t end = 0;
    using result_t = ember::fs::jpeg_entropy_check_c::result_t;
    return check.run(source, check.first_state(), &end) == result_t::complete && end <= size ? jpeg_whole_t::whole
                                                                                                : jpeg_whole_t::damaged;
}
