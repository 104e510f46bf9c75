#include "contract/pipe_packet.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/scan_progress.h"
#include "engine/trailing_zeros.h"

TEST(pipe_packet, counts_are_little_endian_and_the_path_follows_at_16) {
    uint8_t bytes[pipe_packet_size] = {};
    bytes[0] = 0x01;
    bytes[7] = 0x80;   // total: high byte set
    bytes[8] = 0x2A;   // current: 42
    std::memcpy(bytes + 16, "C:\\f.jpg", 9);
    pipe_packet_t packet;
    ASSERT_TRUE(decode_pipe_packet(bytes, sizeof bytes, packet));
    EXPECT_EQ(packet.total_sectors, 0x8000000000000001ull);
    EXPECT_EQ(packet.current_sector, 42u);
    EXPECT_EQ(packet_path_length(packet), 8u);

    uint8_t again[pipe_packet_size];
    encode_pipe_packet(packet, again);
    EXPECT_EQ(std::memcmp(bytes, again, sizeof bytes), 0);
}

TEST(pipe_packet, only_a_message_of_exactly_280_bytes_is_a_packet) {
    uint8_t bytes[300] = {};
    pipe_packet_t packet;
    EXPECT_FALSE(decode_pipe_packet(bytes, 279, packet));
    EXPECT_FALSE(decode_pipe_packet(bytes, 281, packet));
    EXPECT_FALSE(decode_pipe_packet(bytes, 0, packet));
    EXPECT_TRUE(decode_pipe_packet(bytes, 280, packet));
    EXPECT_EQ(packet_path_length(packet), 0u);  // progress only
}

TEST(pipe_packet, a_path_without_terminator_is_bounded_by_its_field) {
    uint8_t bytes[pipe_packet_size];
    std::memset(bytes, 'p', sizeof bytes);
    pipe_packet_t packet;
    ASSERT_TRUE(decode_pipe_packet(bytes, sizeof bytes, packet));
    EXPECT_EQ(packet_path_length(packet), packet_path_bytes);
}

TEST(scan_progress, waits_for_a_total_and_never_goes_back) {
    EXPECT_FLOAT_EQ(next_progress(0.0f, 50, 0), 0.0f);
    EXPECT_FLOAT_EQ(next_progress(0.0f, 50, 200), 0.25f);
    EXPECT_FLOAT_EQ(next_progress(0.5f, 50, 200), 0.5f);
    EXPECT_FLOAT_EQ(next_progress(0.0f, UINT64_MAX, UINT64_MAX), 1.0f);
}

TEST(trailing_zeros, the_count_runs_across_blocks_and_restarts_at_data) {
    trailing_zero_counter_c zeros;
    uint8_t block[4] = {0, 0, 7, 0};
    zeros.feed(block, 4);
    EXPECT_EQ(zeros.count(), 1u);
    uint8_t more[3] = {0, 0, 0};
    zeros.feed(more, 3);
    EXPECT_EQ(zeros.count(), 4u);
    uint8_t data[1] = {1};
    zeros.feed(data, 1);
    EXPECT_EQ(zeros.count(), 0u);
}
