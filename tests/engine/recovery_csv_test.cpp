// The recovery list's lines and the SHA-256 of what was written.
#include "engine/recovery_csv.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/sha256.h"

namespace {

std::string sha256_hex(const std::string& bytes, size_t piece) {
    sha256_c hash;
    for (size_t at = 0; at < bytes.size(); at += piece)
        hash.update(reinterpret_cast<const uint8_t*>(bytes.data()) + at, std::min(piece, bytes.size() - at));
    return hash.finish_hex();
}

}  // namespace

TEST(sha256, known_vectors_hash_alike_whatever_the_pieces) {
    // FIPS 180-4 examples and the one-million-'a' vector.
    const std::string two_blocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    for (size_t piece : {1, 7, 64, 1000}) {
        EXPECT_EQ(sha256_hex("", piece), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
        EXPECT_EQ(sha256_hex("abc", piece), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        EXPECT_EQ(sha256_hex(two_blocks, piece), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    }
    EXPECT_EQ(sha256_hex(std::string(1000000, 'a'), 8192),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(recovery_csv, a_new_list_starts_with_its_mark_and_header_and_quotes_what_needs_it) {
    std::string start = recovery_csv_start();
    EXPECT_EQ(start.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(start.substr(3), "Saved name,Original path,Kind,Size,State,Date taken,Camera,SHA-256\r\n");
    EXPECT_TRUE(is_recovery_csv(start + "a line\r\n"));
    EXPECT_FALSE(is_recovery_csv("Saved name,Original path"));
    EXPECT_FALSE(is_recovery_csv(""));

    recovery_csv_row_t row;
    row.saved_name = "IMG, \"best\".jpg";
    row.original_path = "DCIM\\100CANON\\IMG, \"best\".jpg";
    row.kind = "photo";
    row.size = 123456;
    row.state = "whole";
    row.date_taken = "2024-06-14 18:30:12";
    row.camera = "Canon EOS 5D\nMark II";
    row.sha256 = "ab12";
    EXPECT_EQ(recovery_csv_line(row),
              "\"IMG, \"\"best\"\".jpg\",\"DCIM\\100CANON\\IMG, \"\"best\"\".jpg\",photo,123456,whole,"
              "2024-06-14 18:30:12,\"Canon EOS 5D\nMark II\",ab12\r\n");
    EXPECT_EQ(csv_field("plain"), "plain");
    EXPECT_EQ(csv_field("a\rb"), "\"a\rb\"");
}
