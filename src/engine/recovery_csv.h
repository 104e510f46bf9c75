// The lines of "recovered.csv", the list a recovery keeps of what it saved and from where:
// UTF-8 with a byte-order mark (so that a spreadsheet reads it as UTF-8), a header line when the
// file is made, then one line per recovered file. Fields are quoted where they hold a comma, a
// quote or a line break, the quotes doubled.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr std::u16string_view recovery_csv_name = u"recovered.csv";

struct recovery_csv_row_t {
    std::string saved_name;     // UTF-8
    std::string original_path;  // as the card gave it; empty when no entry named the file
    std::string kind;           // photo, video, audio or other
    uint64_t size = 0;          // bytes written
    std::string state;          // whole, joined, carved or damaged
    std::string date_taken;     // "YYYY-MM-DD HH:MM:SS" or empty
    std::string camera;
    std::string sha256;         // of the bytes written, lower-case hex
};

// The byte-order mark and the header line, as a new file begins.
std::string recovery_csv_start();
std::string recovery_csv_line(const recovery_csv_row_t& row);
std::string csv_field(std::string_view text);
// Whether a file beginning with `first_bytes` is one of ours, to which lines may be appended.
bool is_recovery_csv(std::string_view first_bytes);
