#include "ui/treeview_win.h"

#include "base/wide_text_win.h"

HTREEITEM CTreeViewCtrlT::insert_item(HTREEITEM parent, const std::u16string& text, int image, LPARAM value) {
    std::u16string copy = text;
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = const_cast<wchar_t*>(wide(copy));
    insert.item.iImage = insert.item.iSelectedImage = image;
    insert.item.lParam = value;
    return reinterpret_cast<HTREEITEM>(SendMessageW(hwnd_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

bool CTreeViewCtrlT::delete_all_items() {
    return SendMessageW(hwnd_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT)) != 0;
}

bool CTreeViewCtrlT::expand(HTREEITEM item) {
    return SendMessageW(hwnd_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item)) != 0;
}

bool CTreeViewCtrlT::select_item(HTREEITEM item) {
    return SendMessageW(hwnd_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) != 0;
}

HTREEITEM CTreeViewCtrlT::selected_item() const {
    return reinterpret_cast<HTREEITEM>(SendMessageW(hwnd_, TVM_GETNEXTITEM, TVGN_CARET, 0));
}

LPARAM CTreeViewCtrlT::item_value(HTREEITEM item) const {
    TVITEMW data{};
    data.mask = TVIF_PARAM | TVIF_HANDLE;
    data.hItem = item;
    return item && SendMessageW(hwnd_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data)) ? data.lParam : -1;
}

void CTreeViewCtrlT::set_image_list(HIMAGELIST list) {
    SendMessageW(hwnd_, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(list));
}

treeview_c::~treeview_c() {
    if (hwnd_) RemoveWindowSubclass(hwnd_, subclass_proc, 0);
}

HWND treeview_c::create(HWND parent, const RECT& rect, DWORD style, UINT id) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    hwnd_ = CreateWindowExW(0, WC_TREEVIEWW, L"", style, rect.left, rect.top, rect.right - rect.left,
                            rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                            GetModuleHandleW(nullptr), nullptr);
    if (hwnd_) SetWindowSubclass(hwnd_, subclass_proc, 0, reinterpret_cast<DWORD_PTR>(this));
    return hwnd_;
}

LRESULT CALLBACK treeview_c::subclass_proc(HWND window, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                           DWORD_PTR self) {
    // The focus goes on to the page, which gives it to the grid.
    if (msg == WM_SETFOCUS) {
        if (HWND parent = GetParent(window)) SetFocus(parent);
        return 0;
    }
    if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(window, subclass_proc, 0);
        reinterpret_cast<treeview_c*>(self)->hwnd_ = nullptr;
    }
    return DefSubclassProc(window, msg, wp, lp);
}
