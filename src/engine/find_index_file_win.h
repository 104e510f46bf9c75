// Follows the index of finds that Ember appends to in its work folder (find_index.h): new
// complete lines are read from where the last read stopped, only when a find is asked for that
// has not been read yet, so a scan of many finds reads the index once in all, not once per find.
#pragma once

#include <windows.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "base/find_index.h"
#include "base/handles_win.h"

class find_index_file_c {
public:
    explicit find_index_file_c(std::u16string folder) : folder_(std::move(folder)) {}

    // What the index says of the find of that file name (no folder); false when it says nothing
    // (yet). Each entry is handed out once.
    bool take(const std::string& name, find_origin_t& origin);
    // Reads everything the index holds now, as the loader of earlier results does.
    void read_all() { read_new(); }

private:
    void read_new();

    std::u16string folder_;
    file_handle_c file_;
    index_line_splitter_c splitter_;
    std::vector<char> block_;
    std::unordered_map<std::string, find_origin_t> pending_;
    uint32_t missed_opens_ = 0;
};
