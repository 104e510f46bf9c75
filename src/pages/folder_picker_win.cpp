#include "pages/folder_picker_win.h"

#include <windows.h>
#include <shlobj.h>

#include "base/wide_text_win.h"
#include "base/handles_win.h"

namespace {

struct item_id_traits {
    using type = PIDLIST_ABSOLUTE;
    static type empty() { return nullptr; }
    static void close(type item) { CoTaskMemFree(item); }
};
using item_id_c = owned_c<item_id_traits>;

// Nothing is preselected; a typed name that fails validation keeps the browser open.
int CALLBACK browse_callback(HWND, UINT message, LPARAM, LPARAM) {
    return message == BFFM_VALIDATEFAILEDW ? 1 : 0;
}

}  // namespace

bool pick_folder(std::u16string& folder) {
    wchar_t display_name[MAX_PATH] = {};
    BROWSEINFOW request{};
    request.hwndOwner = GetActiveWindow();
    request.pszDisplayName = display_name;
    request.ulFlags = BIF_RETURNONLYFSDIRS;
    request.lpfn = browse_callback;
    item_id_c item(SHBrowseForFolderW(&request));
    if (!item.is_valid()) return false;
    wchar_t path[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(item.get(), path) || path[0] == 0) return false;
    folder = from_wide(path);
    return true;
}
