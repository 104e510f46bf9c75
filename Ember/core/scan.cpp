#include "scan.h"

#include <algorithm>
#include <map>
#include <memory>
#include <utility>

#include "aligned_buffer.h"
#include "overlap_rule.h"
#include "read_ahead.h"

namespace ember {
namespace {

constexpr uint64_t sector = 512;
constexpr size_t copy_piece = 1024 * 1024;

// keep: a find of the pass, copied and reported with the pass's progress. measure: a candidate
// the guide holds; read and cut as a find would be, nothing kept. late: a file the guide hands
// back after later ones; copied without progress, which is already past it.
enum class save_mode_t { keep, measure, late };

uint64_t align_up(uint64_t offset) { return (offset + sector - 1) / sector * sector; }

// Hands out the source in chunks: straight from memory when it is one block, otherwise through
// the read-ahead thread.
class chunk_feed_c {
public:
    chunk_feed_c(byte_source_i& source, const scan_config_t& config)
        : source_(source), memory_(source.contiguous()), config_(config) {
        if (!memory_) read_ahead_ = std::make_unique<read_ahead_c>(source, config.chunk_size, config.read_ahead_depth);
    }
    bool chunk_at(uint64_t offset, chunk_view_t& out) {
        if (read_ahead_) return read_ahead_->chunk_at(offset, config_.wait_ms, out);
        size_t size = size_t(std::min<uint64_t>(config_.chunk_size, source_.size() - offset));
        out = {offset, memory_ + offset, size};
        return true;
    }

private:
    byte_source_i& source_;
    const uint8_t* memory_;
    const scan_config_t& config_;
    std::unique_ptr<read_ahead_c> read_ahead_;
};

class scanner_c {
public:
    scanner_c(byte_source_i& source, const std::vector<const format_t*>& formats,
              scan_output_i& output, const scan_config_t& config)
        : source_(source), size_(source.size()), table_(formats), output_(output), config_(config) {}

    scan_summary_t run() {
        output_.total((size_ + sector - 1) / sector);
        chunk_feed_c feed(source_, config_);
        uint64_t pos = 0;
        while (pos < size_ && !summary_.is_output_failed) {
            chunk_view_t chunk;
            if (!feed.chunk_at(pos, chunk)) {
                output_.progress(pos / sector);
                continue;
            }
            if (chunk.size == 0) break;  // the source was lost (gone, or shorter than its size)
            pos = scan_chunk(chunk);
            scan_again();
            summary_.bytes_scanned = std::min(pos, size_);
            output_.progress(std::min(pos, size_) / sector);
        }
        // Held files need the card again to be written: a lost card has none to give.
        summary_.is_source_lost = source_.is_lost();
        if (config_.guide && !summary_.is_output_failed && !summary_.is_source_lost) {
            config_.guide->finish();
            save_ready();
            scan_again();
        }
        summary_.is_source_lost = source_.is_lost();
        if (!summary_.is_source_lost && !summary_.is_output_failed) summary_.bytes_scanned = size_;
        summary_.unreadable_sectors = source_.unreadable_sectors();
        output_.progress((summary_.bytes_scanned + sector - 1) / sector);
        return summary_;
    }

private:
    // Scans one chunk; returns where the scan goes on (past the chunk, or past a find).
    uint64_t scan_chunk(const chunk_view_t& chunk) {
        const uint8_t* data = chunk.data;
        size_t size = chunk.size;
        if (config_.guide) {
            config_.guide->observe(chunk.offset, {data, size});
            save_ready();
        }
        for (size_t at = 0; at < size; at += sector) {
            uint8_t lead = data[at];
            if (table_.is_empty(lead)) continue;
            uint64_t start = chunk.offset + at;
            if (config_.guide) {
                uint64_t skip = config_.guide->skip_from(start);
                if (skip >= chunk.offset + size) return align_up(skip);
                if (skip > start) {
                    at = size_t(align_up(skip) - chunk.offset) - sector;
                    continue;
                }
            }
            size_t head = size_t(std::min<uint64_t>(sector, size_ - start));
            if (size - at < head) head = size - at;
            uint64_t length = try_formats(lead, data + at, head, start, {data + at, size - at});
            if (config_.guide) save_ready();
            if (summary_.is_output_failed) return chunk.offset + size;
            if (length == 0) continue;
            uint64_t next = align_up(start + length);
            if (next >= chunk.offset + size) return next;
            at = size_t(next - chunk.offset) - sector;
        }
        return chunk.offset + size;
    }

    uint64_t try_formats(uint8_t lead, const uint8_t* head, size_t head_size, uint64_t start,
                         std::span<const uint8_t> resident) {
        for (const format_t* const* f = table_.begin(lead); f != table_.end(lead); ++f) {
            if (!(*f)->probe(head, head_size)) continue;
            guided_find_t guided;
            if (config_.guide && config_.guide->carve(start, **f, resident, guided)) {
                if (guided.is_held) {
                    layout_ = std::move(guided.layout);
                    uint64_t kept = guided.length && guided.extension
                                        ? save(start, {guided.length, guided.extension}, guided, resident,
                                               save_mode_t::measure)
                                        : 0;
                    config_.guide->held(start, kept);
                    // What the scan skips for it: up to its end, or to the end of the stretch
                    // being scanned again (the pass has seen what lies beyond).
                    if (kept) held_ends_[start] = std::min(start + kept, scan_end_);
                    if (kept == 0) continue;
                    return kept;
                }
                if (guided.length == 0 || guided.extension == nullptr) continue;
                layout_ = std::move(guided.layout);
                uint64_t kept = save(start, {guided.length, guided.extension}, guided, resident, save_mode_t::keep);
                // A file whose bytes lie elsewhere (later fragments) leaves the scan where its
                // first stretch on the card ends.
                return guided.bytes ? std::max(guided.resume, start + sector) - start : kept;
            }
            carve_result_t found;
            {
                carve_input_c in(source_, start, resident);
                in.share_jumps(&jumps_);
                found = (*f)->carve(in);
                if (found.length != 0) layout_ = std::move(in.layout());
            }
            if (found.length == 0 || found.extension == nullptr) continue;
            guided_find_t usual;
            uint64_t carved = found.length;
            found.length = std::min<uint64_t>(found.length, size_ - start);
            if (config_.guide) found.length = config_.guide->free_length(start, found.length);
            usual.origin.is_cut = found.length < carved;
            return save(start, found, usual, resident, save_mode_t::keep);
        }
        return 0;
    }

    // Copies out the files the guide has finished with since it was asked last.
    void save_ready() {
        uint64_t start;
        guided_find_t ready;
        while (!summary_.is_output_failed && config_.guide->take_ready(start, ready)) {
            if (ready.length == 0 || ready.extension == nullptr) continue;
            layout_ = std::move(ready.layout);
            save(start, {ready.length, ready.extension}, ready, {}, save_mode_t::late);
            // A held head that was joined ends where its first stretch does: what the scan
            // skipped past that, taking it for the head's, is looked at again.
            auto held = held_ends_.find(start);
            if (held == held_ends_.end()) continue;
            if (ready.bytes && align_up(ready.resume) < held->second)
                skipped_.push_back({align_up(ready.resume), held->second});
            // A head given up and kept shorter than the scan measured it: what lies past it is
            // not its own, and is looked at again too.
            if (!ready.bytes && align_up(start + ready.length) < held->second)
                skipped_.push_back({align_up(start + ready.length), held->second});
            held_ends_.erase(held);
        }
    }

    // Scans the stretches skipped for joined heads, reading them again (they are short: the
    // part of a head's carve past its first fragment).
    void scan_again() {
        std::vector<uint8_t> bytes;
        while (!skipped_.empty() && !summary_.is_output_failed) {
            auto [from, to] = skipped_.back();
            skipped_.pop_back();
            scan_end_ = to;
            for (uint64_t pos = from; pos < to && !summary_.is_output_failed;) {
                bytes.resize(size_t(std::min<uint64_t>(config_.chunk_size, to - pos)));
                size_t got = source_.read_at(pos, bytes.data(), bytes.size());
                if (got == 0) break;
                pos = scan_chunk({pos, bytes.data(), got});
            }
            scan_end_ = ~uint64_t(0);
        }
    }

    // Copies the find to the output in pieces; it is reported only once complete. A file that
    // starts on one of its sectors and was written over it cuts it there (see overlap_rule.h),
    // unless the guide knows the find whole. Returns the length kept. A work folder that takes
    // no more ends the scan. resident: the bytes from start on that the scan holds in memory,
    // used instead of reading them again.
    uint64_t save(uint64_t start, carve_result_t found, const guided_find_t& guided,
                  std::span<const uint8_t> resident, save_mode_t mode) {
        const bool is_kept = mode != save_mode_t::measure;
        if (is_kept && !output_.begin_file(start / sector, found.extension)) {
            summary_.is_output_failed = true;
            return found.length;
        }
        bool is_read = true, is_written = true, is_cut_short = false, is_lost_short = false;
        byte_source_i& from = guided.bytes ? *guided.bytes : source_;
        uint64_t base = guided.bytes ? 0 : start;
        const uint8_t* memory = from.contiguous();
        if (!memory && copy_buffer_.size() == 0) copy_buffer_.resize(copy_piece);
        for (uint64_t done = 0; is_read && is_written && done < found.length;) {
            size_t piece = size_t(std::min<uint64_t>(copy_piece, found.length - done));
            const uint8_t* bytes = memory ? memory + base + done : copy_buffer_.data();
            if (!memory && !guided.bytes && done + piece <= resident.size()) {
                bytes = resident.data() + done;
            } else if (!memory) {
                size_t got = from.read_at(base + done, copy_buffer_.data(), piece);
                // The card went away (or shrank) in the middle of the find: it is kept up to
                // there, since what was read is the card's.
                if (got < piece && (done + got == 0 || !source_.is_lost())) {
                    is_read = false;
                    break;
                }
                if (got < piece) {
                    piece = got;
                    found.length = done + got;
                    is_cut_short = is_lost_short = true;
                }
            }
            if (guided.may_be_cut) {
                if (config_.guide && !guided.bytes) config_.guide->observe(start + done, {bytes, piece});
                size_t cut = find_nested(found.extension, start, done, bytes, piece, !guided.bytes);
                if (cut < piece) {
                    piece = cut;
                    found.length = done + cut;
                    is_cut_short = true;
                }
            }
            if (is_kept) is_written = output_.write_file(bytes, piece);
            done += piece;
            // A file gathered from elsewhere on the card reports no progress past its first stretch.
            if (mode == save_mode_t::keep && scan_end_ == ~uint64_t(0))
                output_.progress((guided.bytes ? std::min(start + done, guided.resume) : start + done) / sector);
        }
        if (!is_kept) return found.length;
        uint64_t first_stretch = guided.bytes ? std::max(guided.resume, start + sector) - start : found.length;
        bool is_unreadable = from.has_unreadable(base, found.length) || source_.has_unreadable(start, first_stretch);
        if (is_read && is_written) {
            find_record_t record;
            record.assembly = guided.origin.assembly;
            record.pieces = guided.origin.pieces;
            record.end = is_unreadable                                   ? find_end_t::unreadable
                         : is_cut_short || guided.origin.is_cut ? find_end_t::cut
                                                                         : find_end_t::whole;
            if (config_.guide) config_.guide->describe(guided.origin, record);
            output_.describe_file(record);
        }
        is_written = output_.end_file(is_read && is_written) && is_written;
        if (!is_written) summary_.is_output_failed = true;
        if (!is_read || !is_written) return found.length;
        ++summary_.files;
        summary_.bytes_found += found.length;
        // A find cut short where the source was lost counts as damaged: it is not what the card held.
        if (is_lost_short || is_unreadable) ++summary_.damaged_files;
        return found.length;
    }

    // The offset in the piece of the first sector where a file that cuts the find begins, or
    // piece when there is none. is_in_place: the piece is the source's bytes at start + done,
    // which the nested carves then read from memory.
    size_t find_nested(const char* outer, uint64_t start, uint64_t done, const uint8_t* bytes,
                       size_t piece, bool is_in_place) {
        for (size_t at = done == 0 ? sector : 0; at < piece; at += sector) {
            uint8_t lead = bytes[at];
            if (table_.is_empty(lead)) continue;
            uint64_t nested_start = start + done + at;
            size_t head = size_t(std::min<uint64_t>(sector, size_ - nested_start));
            const uint8_t* head_bytes = bytes + at;
            if (piece - at < head) {
                // The find ends inside this sector (a carver that read a little way into the
                // next file before it stopped): the probe sees the whole sector.
                probe_buffer_.resize(sector);
                head = source_.read_at(nested_start, probe_buffer_.data(), head);
                head_bytes = probe_buffer_.data();
            }
            std::span<const uint8_t> resident;
            if (is_in_place && head_bytes == bytes + at) resident = {bytes + at, piece - at};
            nested_place_t place = layout_.place_of(nested_start - start);
            for (const format_t* const* f = table_.begin(lead); f != table_.end(lead); ++f) {
                if (!nested_find_cuts(outer, (*f)->search_name, place)) continue;
                if (!(*f)->probe(head_bytes, head)) continue;
                carve_input_c in(source_, nested_start, resident);
                in.share_jumps(&jumps_);
                carve_result_t nested = (*f)->carve(in);
                if (nested.length != 0 && nested.extension != nullptr) return at;
            }
        }
        return piece;
    }

    byte_source_i& source_;
    const uint64_t size_;
    dispatch_table_c table_;
    scan_output_i& output_;
    const scan_config_t& config_;
    aligned_buffer_c copy_buffer_;
    find_layout_c layout_;  // of the find being copied
    jump_cache_c jumps_;    // what carves fetched far away, for the candidates after them
    std::vector<uint8_t> probe_buffer_;
    scan_summary_t summary_;
    std::map<uint64_t, uint64_t> held_ends_;                  // held heads: start -> end as measured
    std::vector<std::pair<uint64_t, uint64_t>> skipped_;      // to scan again
    uint64_t scan_end_ = ~uint64_t(0);  // of the stretch being scanned again; none in the pass
};

}  // namespace

dispatch_table_c::dispatch_table_c(const std::vector<const format_t*>& formats) {
    for (int lead = 0; lead < 256; ++lead) {
        ranges_[lead].first = uint32_t(flat_.size());
        for (const format_t* f : formats)
            if (f && f->lead_bytes.find(char(lead)) != std::string_view::npos) flat_.push_back(f);
        ranges_[lead].count = uint32_t(flat_.size() - ranges_[lead].first);
    }
}

scan_summary_t scan_source(byte_source_i& source, const std::vector<const format_t*>& formats,
                           scan_output_i& output, const scan_config_t& config) {
    scanner_c scanner(source, formats, output, config);
    return scanner.run();
}

}  // namespace ember
