// The creation time of MP4 and MOV files from their movie header, wherever 'moov' stands.
#include "media/iso_media_time.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class string_source_c final : public ember::byte_source_i {
public:
    explicit string_source_c(std::string bytes) : bytes_(std::move(bytes)) {}
    size_t read_at(uint64_t offset, uint8_t* buf, size_t len) override {
        if (offset >= bytes_.size()) return 0;
        size_t n = std::min<uint64_t>(len, bytes_.size() - offset);
        std::memcpy(buf, bytes_.data() + offset, n);
        return n;
    }
    uint64_t size() const override { return bytes_.size(); }

private:
    std::string bytes_;
};

std::string be32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string box(const char* type, const std::string& body) { return be32(uint32_t(body.size() + 8)) + type + body; }
std::string mvhd(uint8_t version, uint64_t created) {
    std::string body(1, char(version));
    body += std::string(3, '\0');
    body += version == 1 ? be32(uint32_t(created >> 32)) + be32(uint32_t(created)) : be32(uint32_t(created));
    return box("mvhd", body + std::string(80, '\0'));
}

constexpr uint64_t from_1904 = 2082844800;

iso_media_time_result_t read(const std::string& bytes, int64_t& t) {
    string_source_c source(bytes);
    return read_iso_media_time(source, t);
}

}  // namespace

TEST(iso_media_time, the_movie_header_gives_utc_before_or_after_the_media) {
    const uint64_t moment = 1718382612;  // 2024-06-14 16:30:12 UTC
    std::string ftyp = box("ftyp", "isom" + be32(0) + "isom");
    std::string moov = box("moov", box("udta", "") + mvhd(0, moment + from_1904) + box("trak", std::string(40, 'x')));
    std::string mdat = box("mdat", std::string(1000, 'm'));
    int64_t t = 0;
    EXPECT_EQ(read(ftyp + mdat + moov, t), iso_media_time_result_t::ok);
    EXPECT_EQ(t, int64_t(moment));
    EXPECT_EQ(read(ftyp + box("moov", mvhd(1, moment + from_1904)) + mdat, t), iso_media_time_result_t::ok);
    EXPECT_EQ(t, int64_t(moment));
    // A 64-bit size for the media data, as long recordings have.
    std::string large_mdat = be32(1) + "mdat" + be32(0) + be32(16 + 8) + "12345678";
    EXPECT_EQ(read(ftyp + large_mdat + moov, t), iso_media_time_result_t::ok);
}

TEST(iso_media_time, damaged_or_foreign_files_give_their_outcome_and_no_time) {
    std::string ftyp = box("ftyp", "isom" + be32(0) + "isom");
    int64_t t = 1;
    EXPECT_EQ(read(ftyp + box("moov", mvhd(0, 0)), t), iso_media_time_result_t::no_time) << "0 is unset";
    EXPECT_EQ(t, 0);
    EXPECT_EQ(read(ftyp + box("mdat", std::string(100, 'm')).substr(0, 50), t), iso_media_time_result_t::truncated);
    EXPECT_EQ(read(ftyp + be32(4) + "mdat", t), iso_media_time_result_t::corrupt) << "a size smaller than its header";
    EXPECT_EQ(read("RIFF" + std::string(100, 'x'), t), iso_media_time_result_t::not_this_format);
    EXPECT_EQ(read("", t), iso_media_time_result_t::truncated);
    EXPECT_EQ(read(ftyp + box("moov", box("mvhd", "")), t), iso_media_time_result_t::truncated);
}
