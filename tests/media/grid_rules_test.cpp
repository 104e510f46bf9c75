// The thumbnail grid's portable rules: geometry, groups, what a cell shows and how many
// thumbnails stay loaded.
#include <gtest/gtest.h>

#include "media/grid_geometry.h"
#include "media/grid_groups.h"
#include "media/thumbnail_budget.h"

TEST(grid_geometry, content_height_scroll_clamp_and_wheel) {
    EXPECT_EQ(content_height(7), 343);
    EXPECT_EQ(content_height(6), 232);
    EXPECT_EQ(content_height(0), 10);
    EXPECT_EQ(content_height(30), 1120);
    EXPECT_EQ(clamp_scroll(-5, 342, 1120), 0);
    EXPECT_EQ(clamp_scroll(5000, 342, 1120), 779);
    EXPECT_EQ(clamp_scroll(400, 342, 1120), 400);
    EXPECT_EQ(clamp_scroll(40, 342, 232), 40) << "content that fits leaves the position alone";
    EXPECT_EQ(wheel_scroll(1000, 120, 3, 342), 1000 - 333) << "three rows a notch";
    EXPECT_EQ(wheel_scroll(1000, -240, 1, 342), 1000 + 222);
    EXPECT_EQ(wheel_scroll(1000, 40, 3, 342), 1000 - 111) << "a third of a notch";
    EXPECT_EQ(wheel_scroll(1000, 1, 3, 342), 998) << "333 / 120 pixels, truncated toward zero";
    EXPECT_EQ(wheel_scroll(1000, -120, wheel_page_lines, 342), 1342) << "a page at a time";
    EXPECT_EQ(wheel_scroll(1000, 120, 0, 342), 1000);
    EXPECT_EQ(cell_position(4, 0).x, 147);
    EXPECT_EQ(cell_position(4, 0).y, 121);
    EXPECT_EQ(cell_position(4, 200).y, -79);
}

TEST(grid_geometry, keys_move_the_focus_cell_inside_the_group_and_the_view_follows_it) {
    using k = grid_key_t;
    struct { int64_t from; k key; size_t count; int64_t to; } cases[] = {
        {0, k::left, 7, 0},      {2, k::right, 7, 3},      {6, k::right, 7, 6},
        {4, k::up, 7, 1},        {1, k::up, 7, 1},         {1, k::down, 7, 4},
        {4, k::down, 7, 6},      // the short last row: its last cell
        {5, k::down, 7, 6},      {4, k::down, 6, 4},       // in the last row: stays
        {0, k::page_down, 30, 9},  {28, k::page_down, 30, 29}, {20, k::page_up, 30, 11},
        {4, k::page_up, 30, 1},  {14, k::home, 30, 0},     {3, k::end, 30, 29},
        {9, k::left, 0, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(moved_focus(c.from, c.key, c.count, 342), c.to) << c.from << " " << int(c.key) << " of " << c.count;
    EXPECT_EQ(scroll_showing(0, 500, 342, 1120), 0);
    EXPECT_EQ(scroll_showing(29, 0, 342, 1120), 778) << "the last row in full";
    EXPECT_EQ(scroll_showing(12, 0, 342, 1120), 4 * 111 + 121 - 342) << "the row's bottom at the page's bottom";
    EXPECT_EQ(scroll_showing(12, 400, 342, 1120), 400) << "a row in view keeps the position";
}

TEST(grid_geometry, clicks_map_to_the_picture_and_tick_bands_of_a_cell) {
    struct { int x, y, scroll; size_t count; size_t cell; cell_band_t band; } cases[] = {
        {150, 100, 0, 7, 1, cell_band_t::tick},
        {150, 50, 0, 7, 1, cell_band_t::picture},
        {425, 50, 0, 7, 0, cell_band_t::none},
        {150, 5, 0, 7, 0, cell_band_t::none},
        {146, 10, 0, 7, 0, cell_band_t::picture},
        {284, 10, 0, 7, 2, cell_band_t::picture},
        {420, 91, 0, 7, 2, cell_band_t::picture},  // offset 81, the picture's last row
        {10, 95, 0, 7, 0, cell_band_t::none},      // offset 85: the gap
        {10, 112, 0, 7, 0, cell_band_t::none},     // offset 102
        {150, 50, 0, 1, 0, cell_band_t::none},     // cell 1 of one
        {290, 10 + 111 * 2 + 86 - 200, 200, 9, 8, cell_band_t::tick},
    };
    for (const auto& c : cases) {
        cell_hit_t hit = hit_cell(c.x, c.y, c.scroll, c.count);
        EXPECT_EQ(hit.band, c.band) << c.x << "," << c.y;
        if (c.band != cell_band_t::none) {
            EXPECT_EQ(hit.cell, c.cell) << c.x << "," << c.y;
        }
    }
}

TEST(grid_geometry, only_the_cells_near_the_view_are_visited_however_long_the_group) {
    const size_t count = 100000;
    cell_range_t top = cells_with_top_in(paint_band_top, paint_band_bottom, 0, count);
    EXPECT_EQ(top.first, 0u);
    EXPECT_EQ(top.end, 24u);  // rows with tops 10, 121, ... 787
    int32_t end_scroll = content_height(count) - 342 + 1;
    cell_range_t end = cells_with_top_in(paint_band_top, paint_band_bottom, end_scroll, count);
    EXPECT_EQ(end.end, count);
    EXPECT_LT(end.end - end.first, 40u);
    for (size_t cell = end.first; cell < end.end; ++cell) {
        int32_t y = cell_position(cell, end_scroll).y;
        EXPECT_GE(y, paint_band_top);
        EXPECT_LE(y, paint_band_bottom);
    }
    EXPECT_LT(cell_position(end.first - 1, end_scroll).y, paint_band_top);
    cell_range_t none = cells_with_top_in(-342, 684, 0, 0);
    EXPECT_EQ(none.first, none.end);
    cell_range_t middle = cells_with_top_in(-342, 684, 111 * 1000, count);
    EXPECT_EQ(middle.first, 3 * 997u);  // the row whose top is at -320
    EXPECT_EQ(middle.end, 3 * 1007u);   // up to the row at 680
}

TEST(grid_groups, files_join_their_extension_and_their_category) {
    grid_groups_c groups;
    groups.add("jpg", media_photo, 0);
    groups.add("JPG", media_photo, 1);
    groups.add("mov", media_video, 2);
    groups.add("xyz", media_none, 3);
    groups.add("wav", media_audio, 4);
    groups.add("video", media_none, 5);
    EXPECT_EQ(groups.group("photo"), (index_list_t{0, 1}));
    EXPECT_EQ(groups.group("jpg"), (index_list_t{0}));
    EXPECT_EQ(groups.group("JPG"), (index_list_t{1}));
    EXPECT_EQ(groups.group("video"), (index_list_t{2, 3, 5})) << "once, though its extension is video";
    EXPECT_EQ(groups.group("audio"), (index_list_t{4}));
    EXPECT_TRUE(groups.group("missing").empty());
    groups.clear();
    groups.add("jpg", media_photo, 7);
    EXPECT_EQ(groups.group("jpg"), (index_list_t{7}));
}

TEST(grid_groups, a_cell_shows_a_placeholder_by_kind) {
    EXPECT_EQ(placeholder_for(media_photo, "jpg"), placeholder_t::photo);
    EXPECT_EQ(placeholder_for(media_photo, "JPG"), placeholder_t::raw);
    EXPECT_EQ(placeholder_for(media_photo, "nef"), placeholder_t::raw);
    EXPECT_EQ(placeholder_for(media_audio, "jpg"), placeholder_t::audio);
    EXPECT_EQ(placeholder_for(media_none, "xyz"), placeholder_t::video);
    bool is_category = false;
    EXPECT_EQ(category_placeholder_kind("audio", is_category), media_audio);
    EXPECT_TRUE(is_category);
    category_placeholder_kind("jpg", is_category);
    EXPECT_FALSE(is_category);
}

TEST(thumbnail_budget, keeps_the_most_recently_wanted_and_releases_the_rest) {
    thumbnail_budget_c budget(3);
    for (int32_t i = 0; i < 3; ++i) budget.note_wanted(i);
    EXPECT_TRUE(budget.take_surplus().empty());
    budget.note_wanted(0);  // still near the view
    budget.note_wanted(10);
    budget.note_wanted(11);
    EXPECT_EQ(budget.take_surplus(), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(budget.loaded(), 3u);
    EXPECT_TRUE(budget.is_loaded(0));
    EXPECT_FALSE(budget.is_loaded(1));
    budget.note_wanted(1);  // back near the view: loaded again
    EXPECT_EQ(budget.take_surplus(), (std::vector<int32_t>{0}));
    EXPECT_EQ(budget.take_all().size(), 3u);
    EXPECT_EQ(budget.loaded(), 0u);
}
