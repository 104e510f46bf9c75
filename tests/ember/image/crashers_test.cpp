// Inputs that once crashed, hung or misparsed a photo carver, kept with their outcome. A file
// is named <length>-<extension or none>-<what it is>.bin: the carve must give exactly that.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ember/image/image_test_support.h"

namespace ember_test {
namespace {

TEST(photo_crashers, each_kept_input_gives_its_recorded_outcome) {
    std::filesystem::path dir = std::filesystem::path(TESSERA_SOURCE_DIR) / "tests" / "crashers" / "image";
    int seen = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        std::string name = entry.path().filename().string();
        size_t dash = name.find('-'), dash2 = name.find('-', dash + 1);
        ASSERT_NE(dash2, std::string::npos) << name;
        uint64_t length = std::stoull(name.substr(0, dash));
        std::string extension = name.substr(dash + 1, dash2 - dash - 1);
        ember::carve_result_t r = carve_photo(read_file(entry.path()));
        EXPECT_EQ(r.length, length) << name;
        EXPECT_EQ(r.extension ? std::string(r.extension) : "none", extension) << name;
        ++seen;
    }
    EXPECT_GT(seen, 0) << "no inputs under " << dir;
}

}  // namespace
}  // namespace ember_test
