// classify_extension and the camera text through the real message box routing and code page.
#include "media/media_kind_win.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/language.h"
#include "media/media_text_win.h"
#include "ui/message_box_win.h"

namespace {

std::vector<std::pair<std::u16string, message_mode_t>> shown;

int recording_shower(HWND, const std::u16string& text, message_mode_t mode) {
    shown.emplace_back(text, mode);
    return 1;
}

TEST(classify_extension, an_unknown_extension_is_shown_once_as_an_error) {
    shown.clear();
    set_message_shower(recording_shower);
    EXPECT_EQ(classify_extension("mp4"), media_video);
    EXPECT_EQ(classify_extension("asf"), media_video);
    EXPECT_EQ(classify_extension("NEF"), media_photo);
    EXPECT_EQ(classify_extension("flac"), media_audio);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(classify_extension("jpeg"), media_none);
    EXPECT_EQ(classify_extension(""), media_none);
    language_table().clear();
    language_table().load("[English]\nunknown_type=\"Unknown: {1}, listed under {1}.\"\n", u"English", true);
    EXPECT_EQ(classify_extension("xyz"), media_none);
    language_table().clear();
    set_message_shower(nullptr);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].first, u"jpeg") << "no language file: the extension alone";
    EXPECT_EQ(shown[0].second, mode_error);
    EXPECT_EQ(shown[1].first, u"");
    EXPECT_EQ(shown[2].first, u"Unknown: xyz, listed under xyz.") << "the sentence that says what it means";
}

TEST(camera_model_text, the_record_text_or_unknown) {
    char model[32] = "Canon EOS 5D";
    EXPECT_EQ(camera_model_text(model, sizeof model), u"Canon EOS 5D");
    char blank[32] = " ";
    EXPECT_EQ(camera_model_text(blank, sizeof blank), u" ");
    char empty[32] = "";
    EXPECT_EQ(camera_model_text(empty, sizeof empty), u"Unknown");
    char full[4] = {'a', 'b', 'c', 'd'};  // no terminator: read no further than the field
    EXPECT_EQ(camera_model_text(full, sizeof full), u"abcd");
}

}  // namespace
