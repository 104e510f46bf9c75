// What is known of a find besides its bytes: the directory entry that names it (its path on the
// card, live or deleted, its times), how its bytes were gathered and whether its end is its own.
// The shell writes one line of it per find into the work folder's index (index_line).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ember {

enum class find_entry_t : uint8_t { none, live, deleted };
// chain: by its file system chain (a live file, or a deleted contiguous exFAT file at its size);
// contiguous: a deleted entry's start and size taken as one run; joined: gathered from pieces;
// carved: from the content alone.
enum class find_assembly_t : uint8_t { carved, chain, contiguous, joined };
// whole: its structure ended it; cut: written up to where it stopped validating, where another
// file began or where the scan ended; unreadable: some of its sectors read as zeros.
enum class find_end_t : uint8_t { whole, cut, unreadable };

// A FAT or exFAT time as the card stores it: date in the high 16 bits (years from 1980, month,
// day), time in the low 16 (hours, minutes, seconds / 2); exFAT adds a UTC offset byte (bit 7:
// valid; bits 0-6: signed quarter hours) and both a count of 10 ms (0 to 199) that adds the odd
// second the two-second field cannot hold (FAT for the created time only). stamp 0: none.
struct card_time_t {
    uint32_t stamp = 0;
    uint8_t utc_offset = 0;
    uint8_t centiseconds = 0;
};

struct find_record_t {
    std::string path;  // UTF-8, components separated by '\'; empty when no entry names the find
    find_entry_t entry = find_entry_t::none;
    find_assembly_t assembly = find_assembly_t::carved;
    uint32_t pieces = 1;  // of a joined find
    card_time_t modified;
    card_time_t created;
    find_end_t end = find_end_t::whole;
};

// "YYYY-MM-DD HH:MM:SS" and, with a valid UTC offset, "+HH:MM" or "-HH:MM"; empty when the time
// is none or not a real date and time.
std::string format_card_time(card_time_t time);

// The index file's line for the find named file_name: seven TAB-separated fields and "\n".
std::string index_line(std::string_view file_name, const find_record_t& record);

}  // namespace ember
