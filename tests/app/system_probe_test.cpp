#include "app/system_probe_win.h"

#include <gtest/gtest.h>

#include "base/app_folder.h"
#include "base/wide_text_win.h"

TEST(system_probe, records_the_current_folder_with_a_trailing_backslash) {
    ASSERT_TRUE(probe_system());
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    std::u16string expected = from_wide(folder);
    if (expected.back() != u'\\') expected.push_back(u'\\');
    EXPECT_EQ(app_folder, expected);
}

TEST(system_probe, wmi_reports_the_installed_memory) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(query_physical_memory(), 0);
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    ASSERT_TRUE(GlobalMemoryStatusEx(&status));
    // Installed modules hold at least what the system can use, and not wildly more.
    EXPECT_GE(physical_memory_bytes, status.ullTotalPhys / 2);
    EXPECT_LE(physical_memory_bytes, status.ullTotalPhys * 4);
    CoUninitialize();
}
