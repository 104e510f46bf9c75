// What the card's directory said of each find: the index Ember writes beside its finds
// (".ember_index", UTF-8, one TAB-separated line per completed find, appended as finds complete).
// Reading is bounded: lines over max_index_line_bytes, lines with too few fields and lines with
// values the index cannot hold are skipped; a last line without its newline is not yet written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr std::u16string_view find_index_name = u".ember_index";
constexpr size_t max_index_line_bytes = 4096;  // newline included
constexpr size_t index_fields = 7;

enum class entry_state_t : uint8_t { none = 0, live = 1, deleted = 2 };
enum class assembly_t : uint8_t { unknown = 0, chain = 1, contiguous = 2, joined = 3, carved = 4 };
enum class completeness_t : uint8_t { unknown = 0, whole = 1, cut = 2, unreadable = 3 };

// A directory entry's time as the card stores it: the card's wall clock, counted in seconds since
// 1970-01-01 as if it were UTC, and the offset from UTC when the card recorded one (exFAT).
struct card_time_t {
    int64_t clock_seconds = 0;  // 0 = none
    bool has_offset = false;
    int32_t offset_minutes = 0;
};

struct find_origin_t {
    std::string path;  // UTF-8, components separated by '\', relative to the volume's root; may be empty
    entry_state_t state = entry_state_t::none;
    assembly_t assembly = assembly_t::unknown;
    uint32_t pieces = 0;  // joined: how many
    card_time_t modified;
    card_time_t created;
    completeness_t completeness = completeness_t::unknown;
    bool is_known = false;  // an index line described this find
};

// Parses one line (without its newline) into the find's file name and what is known of it.
// False for a comment, an empty line, too few fields or a field no writer of the index gives.
bool parse_find_index_line(std::string_view line, std::string& name, find_origin_t& origin);

// "YYYY-MM-DD HH:MM:SS" with an optional "+HH:MM" or "-HH:MM"; false when malformed or out of range.
bool parse_card_time(std::string_view text, card_time_t& time);

// The UTC moment of a card time: its offset applied when it has one, else the system's time zone
// (the card's clock is taken to be the computer's local time). 0 for none.
int64_t card_time_to_utc(const card_time_t& time);

// Splits the bytes of a growing index into complete lines. Bytes after the last newline wait for
// the rest of their line; a line longer than the bound is dropped whole, however it continues.
class index_line_splitter_c {
public:
    template <class on_line_fn>
    void feed(const char* data, size_t size, on_line_fn on_line) {
        for (size_t i = 0; i < size; ++i) {
            char c = data[i];
            if (c == '\n') {
                if (!is_skipping_) on_line(std::string_view(partial_));
                partial_.clear();
                is_skipping_ = false;
            } else if (!is_skipping_) {
                if (partial_.size() + 1 >= max_index_line_bytes) {
                    partial_.clear();
                    is_skipping_ = true;
                } else {
                    partial_.push_back(c);
                }
            }
        }
    }

private:
    std::string partial_;
    bool is_skipping_ = false;
};
