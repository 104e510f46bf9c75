#include "engine/run_end.h"

namespace {

// Plain decimal digits only, at most 20 of them, and no overflow.
bool parse_decimal(std::string_view text, uint64_t& value) {
    if (text.empty() || text.size() > 20) return false;
    uint64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        uint64_t digit = static_cast<uint64_t>(c - '0');
        if (result > (UINT64_MAX - digit) / 10) return false;
        result = result * 10 + digit;
    }
    value = result;
    return true;
}

}  // namespace

run_end_t run_end_of_exit_code(uint32_t exit_code) {
    switch (exit_code) {
    case 0: return run_end_t::finished;
    case 2:   // bad command line
    case 4:   // work folder on the card
    case 5:   // work folder path too long
    case 6:   // work folder not created
        return run_end_t::not_started;
    case 3: return run_end_t::card_unreadable;
    case 7: return run_end_t::cache_full;
    case 8: return run_end_t::read_errors;
    case 9: return run_end_t::card_lost;
    default: return run_end_t::ended_early;
    }
}

const char* run_end_message_key(run_end_t end) {
    switch (end) {
    case run_end_t::read_errors: return "scan_read_errors";
    case run_end_t::card_lost: return "scan_card_lost";
    case run_end_t::cache_full: return "scan_cache_full";
    case run_end_t::card_unreadable: return "scan_no_card";
    case run_end_t::not_started: return "scan_not_started";
    case run_end_t::ended_early: return "scan_ended_early";
    case run_end_t::no_engine: return "scan_no_engine";
    case run_end_t::bad_cache_path: return "scan_bad_cache";
    default: return nullptr;
    }
}

bool is_scanned_to_the_end(run_end_t end) {
    return end == run_end_t::finished || end == run_end_t::read_errors;
}

bool parse_run_summary(std::string_view text, run_summary_t& summary) {
    if (text.size() > max_run_summary_bytes) return false;
    run_summary_t read;
    bool has[5] = {};
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        std::string_view key = line.substr(0, equals), value = line.substr(equals + 1);
        struct field_t {
            std::string_view key;
            uint64_t* target;
        } fields[4] = {{"total_sectors", &read.total_sectors},
                       {"scanned_sectors", &read.scanned_sectors},
                       {"unreadable_sectors", &read.unreadable_sectors},
                       {"files", &read.files}};
        bool is_known = false;
        for (size_t i = 0; i < 4; ++i) {
            if (key != fields[i].key) continue;
            if (!parse_decimal(value, *fields[i].target)) return false;
            has[i] = is_known = true;
        }
        if (!is_known && key == "exit") {
            uint64_t code = 0;
            if (!parse_decimal(value, code) || code > 255) return false;
            read.exit_code = static_cast<int32_t>(code);
            has[4] = true;
        }
    }
    for (bool is_there : has)
        if (!is_there) return false;
    if (read.scanned_sectors > read.total_sectors || read.unreadable_sectors > read.total_sectors) return false;
    summary = read;
    return true;
}
