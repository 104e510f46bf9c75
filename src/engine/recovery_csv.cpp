#include "engine/recovery_csv.h"

namespace {

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
constexpr std::string_view header = "Saved name,Original path,Kind,Size,State,Date taken,Camera,SHA-256\r\n";

}  // namespace

std::string csv_field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted.push_back('"');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

std::string recovery_csv_start() { return std::string(byte_order_mark) + std::string(header); }

std::string recovery_csv_line(const recovery_csv_row_t& row) {
    std::string line;
    for (std::string_view field : {std::string_view(row.saved_name), std::string_view(row.original_path),
                                   std::string_view(row.kind)}) {
        line += csv_field(field);
        line += ',';
    }
    line += std::to_string(row.size);
    for (std::string_view field : {std::string_view(row.state), std::string_view(row.date_taken),
                                   std::string_view(row.camera), std::string_view(row.sha256)}) {
        line += ',';
        line += csv_field(field);
    }
    line += "\r\n";
    return line;
}

bool is_recovery_csv(std::string_view first_bytes) {
    std::string start = recovery_csv_start();
    return first_bytes.substr(0, start.size()) == start;
}
