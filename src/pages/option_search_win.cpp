// The options page's folder field and the start of a search: the checks of the next button in
// their fixed order, each showing the first problem and starting nothing, then the request.
#include <shlwapi.h>

#include <algorithm>
#include <cstring>

#include "base/app_messages.h"
#include "base/language.h"
#include "base/settings.h"
#include "base/settings_win.h"
#include "base/text_format.h"
#include "base/wide_text_win.h"
#include "pages/drive_list.h"
#include "pages/drive_list_win.h"
#include "pages/folder_window_win.h"
#include "pages/option_window_win.h"
#include "ui/message_box_win.h"

namespace {

constexpr size_t warning_capacity = 128;  // characters, terminator included

// Copies text into a request field, cut to the field with its terminator.
void copy_to_request(char (&field)[request_text_capacity], const std::string& text) {
    size_t length = std::min(text.size(), request_text_capacity - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

void copy_to_request(char16_t (&field)[request_text_capacity], const std::u16string& text) {
    size_t length = std::min(text.size(), request_text_capacity - 1);
    std::memcpy(field, text.data(), length * sizeof(char16_t));
    field[length] = u'\0';
}

}  // namespace

std::u16string option_window_c::folder_field_text() const {
    wchar_t text[path_capacity] = {};
    int length = GetDlgItemTextW(hwnd(), id_folder_field, text, static_cast<int>(path_capacity));
    return from_wide(text, static_cast<size_t>(std::max(length, 0)));
}

void option_window_c::store_folder_field() {
    (edit_shows_cache_ ? settings.cache_path : settings.recovery_path) = folder_field_text();
}

bool option_window_c::is_checked(int id) const { return IsDlgButtonChecked(hwnd(), id) == BST_CHECKED; }

void option_window_c::warn(const char* text_key) { show_message(hwnd(), lookup_text(text_key), mode_warning); }

bool option_window_c::check_folder_field() {
    if (PathIsDirectoryW(wide(folder_field_text()))) return true;
    warn("option_no_dir");
    return false;
}

void option_window_c::switch_folder_field(int id) {
    if (!check_folder_field()) return;
    store_folder_field();
    save_settings();
    SetDlgItemTextW(hwnd(), id_folder_field, wide(id == id_recovery_radio ? settings.recovery_path : settings.cache_path));
    edit_shows_cache_ = id != id_recovery_radio;
}

// The engine writes every find into the cache folder and would overwrite the very files being
// recovered, so a cache folder on the card is refused before anything starts. Copying chosen
// files onto the card overwrites others still lost there, so the user is asked about a recovery
// folder on it. Both are judged by the volume, so a folder mount point of the card counts too.
void option_window_c::start_search() {
    if (SendDlgItemMessageW(hwnd(), id_card_list, CB_GETCOUNT, 0, 0) <= 0) return warn("no_card");
    search_request.want_photo = is_checked(id_photo) ? 1 : 0;
    search_request.want_video = is_checked(id_video) ? 1 : 0;
    search_request.want_audio = is_checked(id_audio) ? 1 : 0;
    if (!search_request.want_photo && !search_request.want_video && !search_request.want_audio)
        return warn("option_msg");
    if (!check_folder_field()) return;
    store_folder_field();
    if (lstrcmpiW(wide(settings.recovery_path), wide(settings.cache_path)) == 0) return warn("next_failed");

    LRESULT index = SendDlgItemMessageW(hwnd(), id_card_list, CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<size_t>(index) >= drive_list.size()) return warn("no_card");
    const drive_info_t& card = drive_list[static_cast<size_t>(index)];
    if (is_folder_on_drive(settings.cache_path, card)) return warn("cache_on_card");
    if (is_folder_on_drive(settings.recovery_path, card) &&
        show_message(hwnd(), lookup_text("recovery_on_card"), mode_question) != 1)
        return;
    if (!cache_has_room(static_cast<int>(index))) {
        std::u16string size = format_size(static_cast<int64_t>(card.total_bytes));
        std::u16string warning = cut_to_capacity(format_text(lookup_text("cache_msg"), {size}), warning_capacity);
        if (show_cache_warning(warning, hwnd()) == 2) return;
    }

    copy_to_request(search_request.cache_dir, to_ansi(settings.cache_path));
    copy_to_request(search_request.cache_path, settings.cache_path);
    copy_to_request(search_request.volume, to_ansi(card.volume_name));
    save_settings();
    SendMessageW(main_window_, UM_SHOW_SCAN_AND_START, 1, reinterpret_cast<LPARAM>(&search_request));
}
