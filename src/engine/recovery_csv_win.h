// Appends the lines of one recovery to "recovered.csv" in the recovery folder (recovery_csv.h).
// A file of that name that is not one of ours, or cannot be read, is left alone and the lines go
// to "recovered-2.csv" (then -3, ...); an existing list of ours is appended to, never rewritten.
#pragma once

#include <windows.h>

#include <string>

#include "engine/recovery_csv.h"
#include "base/handles_win.h"

class recovery_csv_file_c {
public:
    explicit recovery_csv_file_c(std::u16string folder) : folder_(std::move(folder)) {}
    // False when no list could be opened or the line not written whole; the recovered file
    // stays recovered either way.
    bool append(const recovery_csv_row_t& row);

private:
    bool open();

    std::u16string folder_;
    file_handle_c file_;
    bool has_failed_ = false;
};
