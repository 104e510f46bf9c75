#include "sector_retry.h"

#include <cstring>

namespace ember {

size_t read_with_retry(raw_reader_i& reader, uint64_t offset, uint8_t* buf, size_t len,
                       retry_stats_t& stats) {
    if (len == 0) return 0;
    int64_t got = reader.read_raw(offset, buf, len);
    if (got >= 0) return size_t(got) < len ? size_t(got) : len;
    if (len <= sector_size) {
        std::memset(buf, 0, len);
        ++stats.bad_sectors;
        return len;
    }
    // Halves on sector boundaries: the first half whole sectors, the rest what remains.
    size_t sectors = (len + sector_size - 1) / sector_size;
    size_t first = (sectors / 2) * sector_size;
    size_t done = read_with_retry(reader, offset, buf, first, stats);
    if (done < first) return done;  // the device ended inside the first half
    return first + read_with_retry(reader, offset + first, buf + first, len - first, stats);
}

}  // namespace ember
