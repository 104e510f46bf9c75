// The settings store against the registry of the test prefix.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/app_folder.h"
#include "base/settings.h"
#include "base/settings_win.h"
#include "base/wide_text_win.h"
#include "support/registry_win.h"
#include "support/temp_folder_win.h"

namespace {

std::wstring as_wide(const std::u16string& text) { return std::wstring(wide(text)); }

std::wstring temp_folder_path() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    return temp;
}

class settings_registry : public ::testing::Test {
protected:
    void SetUp() override {
        delete_tessera_keys();
        app_folder = from_wide((folder_.path() + L"\\").c_str());
    }
    void TearDown() override { delete_tessera_keys(); }

    temp_folder_c folder_{L"settings"};
};

}  // namespace

TEST_F(settings_registry, the_first_run_stores_all_three_values_and_creates_both_folders) {
    ASSERT_TRUE(init_settings());
    std::wstring recovery = folder_ / L"recovery";
    std::wstring cache = temp_folder_path() + L"TSR_Cache";
    EXPECT_EQ(stored_text(L"RecoveryPath"), recovery);
    EXPECT_EQ(stored_text(L"CachePath"), cache);
    EXPECT_EQ(stored_text(L"Language"), L"English");
    EXPECT_TRUE(is_folder(recovery));
    EXPECT_TRUE(is_folder(cache));
    // Written in this order and with the language value spelt in lower case.
    std::vector<std::wstring> names = stored_value_names();
    EXPECT_NE(std::find(names.begin(), names.end(), L"language"), names.end());
}

TEST_F(settings_registry, the_first_run_takes_the_installer_language) {
    store_installer_language(4);
    ASSERT_TRUE(init_settings());
    EXPECT_EQ(settings.language, u"Français");
    EXPECT_EQ(stored_text(L"language"), L"Français");
}

TEST_F(settings_registry, installer_numbers_outside_one_to_eleven_leave_english) {
    for (DWORD index : {0u, 12u}) {
        delete_tessera_keys();
        store_installer_language(index);
        ASSERT_TRUE(init_settings());
        EXPECT_EQ(stored_text(L"language"), L"English") << index;
    }
    delete_tessera_keys();
    std::wstring not_a_number = L"4";
    store_value(L"SOFTWARE\\Tessera_Init", L"language", REG_SZ, not_a_number.c_str(), 4);
    ASSERT_TRUE(init_settings());
    EXPECT_EQ(settings.language, u"English");
}

TEST_F(settings_registry, an_existing_key_is_read_and_not_rewritten) {
    std::wstring long_recovery = folder_ / (std::wstring(200, L'r'));
    store_text(L"RecoveryPath", long_recovery);
    store_text(L"CachePath", folder_ / L"c");
    store_text(L"Language", L"Deutsch");
    store_installer_language(4);  // only the first run reads it
    ASSERT_TRUE(init_settings());
    EXPECT_EQ(as_wide(settings.recovery_path), long_recovery);
    EXPECT_EQ(as_wide(settings.cache_path), folder_ / L"c");
    EXPECT_EQ(settings.language, u"Deutsch");
    EXPECT_TRUE(is_folder(long_recovery));  // a stored folder that is missing is created

    delete_tessera_keys();
    store_text(L"Language", L"Italiano");
    ASSERT_TRUE(init_settings());
    EXPECT_EQ(stored_text(L"CachePath"), L"<missing>");  // defaults are not saved over a key
    EXPECT_EQ(settings.language, u"Italiano");
}

TEST_F(settings_registry, unusable_values_leave_that_field_at_its_default) {
    std::wstring default_cache = temp_folder_path() + L"TSR_Cache";
    DWORD number = 5;
    store_value(L"SOFTWARE\\Tessera", L"CachePath", REG_DWORD, &number, sizeof number);
    std::wstring odd = L"C:\\odd";
    store_raw_value(L"RecoveryPath", REG_SZ, odd.c_str(), 9);
    store_text(L"Language", std::wstring(32, L'L'));  // 32 characters do not fit 32 with the end
    ASSERT_TRUE(init_settings());
    EXPECT_EQ(as_wide(settings.cache_path), default_cache);
    EXPECT_EQ(as_wide(settings.recovery_path), folder_ / L"recovery");
    EXPECT_EQ(settings.language, u"English");

    delete_tessera_keys();
    std::wstring unterminated = L"C:\\noend";
    store_raw_value(L"RecoveryPath", REG_SZ, unterminated.c_str(),
                    static_cast<DWORD>(unterminated.size() * sizeof(wchar_t)));
    store_text(L"Language", std::wstring(31, L'L'));
    ASSERT_TRUE(init_settings());
    EXPECT_EQ(as_wide(settings.recovery_path), folder_ / L"recovery");
    EXPECT_EQ(settings.language, std::u16string(31, u'L'));
}

TEST_F(settings_registry, an_expandable_path_is_expanded_and_an_empty_one_is_unset) {
    SetEnvironmentVariableW(L"TESSERA_TEST_FOLDER", (folder_ / L"expanded").c_str());
    store_text(L"CachePath", L"%TESSERA_TEST_FOLDER%\\cache", REG_EXPAND_SZ);
    store_text(L"RecoveryPath", L"%TESSERA_TEST_FOLDER%\\recovered", REG_EXPAND_SZ);
    ASSERT_TRUE(init_settings());
    EXPECT_EQ(as_wide(settings.cache_path), folder_ / L"expanded\\cache");
    EXPECT_EQ(as_wide(settings.recovery_path), folder_ / L"expanded\\recovered");
    EXPECT_TRUE(is_folder(folder_ / L"expanded\\recovered")) << "the folder is made under its real name";

    // Empty, or expanding beyond a path's capacity: the default stays.
    delete_tessera_keys();
    store_raw_value(L"RecoveryPath", REG_SZ, L"", 0);
    store_text(L"CachePath", L"", REG_EXPAND_SZ);
    SetEnvironmentVariableW(L"TESSERA_TEST_FOLDER", std::wstring(200, L'x').c_str());
    ASSERT_TRUE(init_settings());
    EXPECT_EQ(as_wide(settings.recovery_path), folder_ / L"recovery");
    EXPECT_EQ(as_wide(settings.cache_path), temp_folder_path() + L"TSR_Cache");
    store_text(L"RecoveryPath", L"%TESSERA_TEST_FOLDER%\\%TESSERA_TEST_FOLDER%", REG_EXPAND_SZ);
    ASSERT_TRUE(init_settings());
    EXPECT_EQ(as_wide(settings.recovery_path), folder_ / L"recovery");
    SetEnvironmentVariableW(L"TESSERA_TEST_FOLDER", nullptr);
}

TEST_F(settings_registry, save_writes_the_record_back) {
    ASSERT_TRUE(init_settings());
    settings.language = u"Nederlands";
    settings.cache_path = u"E:\\elsewhere";
    save_settings();
    EXPECT_EQ(stored_text(L"Language"), L"Nederlands");
    EXPECT_EQ(stored_text(L"CachePath"), L"E:\\elsewhere");
}
