// Directory entries of FAT (8.3 entries and the long names before them) and exFAT (entry sets
// with their checksums), read from a directory's bytes, and the tests that tell a directory
// cluster found anywhere on the card from other data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fs_volume.h"

namespace ember::fs {

struct dir_item_t {
    char extension[8] = {};  // lower case ASCII letters and digits, "" when none
    uint64_t size = 0;
    uint32_t first_cluster = 0;
    bool is_deleted = false;
    bool is_directory = false;
    bool is_contiguous = false;  // exFAT NoFatChain
    // The name, as a UTF-8 path component in the names the parser appended to (entry_name.h).
    uint32_t name_at = 0;
    uint16_t name_size = 0;
    // FAT and exFAT pack date and time alike (find_record.h); exFAT adds UTC offsets.
    uint32_t modified = 0;
    uint32_t created = 0;
    uint8_t modified_utc = 0;
    uint8_t created_utc = 0;
    uint8_t modified_10ms = 0;  // 0 to 199, the odd second; FAT keeps it for the created time only
    uint8_t created_10ms = 0;
};

// Appends the files and subdirectories the bytes describe ("." and ".." left out), their names
// to names: the long name where its entries hold together with the 8.3 entry, else the 8.3 name.
void parse_fat_directory(const fs_volume_t& volume, const uint8_t* data, size_t size, std::vector<dir_item_t>& out,
                         std::string& names);
// Appends the entry sets whose checksum holds (deleted ones checked as they were written).
void parse_exfat_directory(const fs_volume_t& volume, const uint8_t* data, size_t size, std::vector<dir_item_t>& out,
                           std::string& names);

// True when the 512 bytes are the start of a FAT directory cluster: every slot a sound entry
// (or zero after the last one), and at least one file or folder entry.
bool looks_like_fat_directory(const fs_volume_t& volume, const uint8_t* sector);
// Where the last entry set in the bytes starts when it runs on past their end (a long name's set
// across a cluster boundary); size when none does.
size_t exfat_set_cut_at(const uint8_t* data, size_t size);
// True when the bytes start with an exFAT entry set whose checksum holds.
bool starts_exfat_set(const uint8_t* data, size_t size);

// True when the 512 bytes may be a later cluster of a FAT folder: every slot a sound entry (or
// zero after the last one), and not a folder's own first cluster (its "." entry).
bool continues_fat_directory(const fs_volume_t& volume, const uint8_t* sector);
// True when every slot of the 512 bytes is an exFAT directory entry of a known type, in use or
// not (or end of directory).
bool continues_exfat_directory(const uint8_t* sector);

// True when an exFAT entry set with a sound checksum starts in the first 512 bytes.
bool looks_like_exfat_directory(const uint8_t* data, size_t size);

// True when the 512 bytes hold a folder's entries of the volume's kind, as a folder's first or
// later cluster does (a sector of zeros does not count): no file's data lies in such a cluster.
bool holds_folder_entries(const fs_volume_t& volume, const uint8_t* sector);

}  // namespace ember::fs
