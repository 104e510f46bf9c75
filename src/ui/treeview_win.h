// The system tree-view control: CTreeViewCtrlT wraps its messages (as WTL's class of that name
// does), and treeview_c is the scan page's category tree, which hands the focus on to its
// parent, so that the tree is used with the mouse only.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

class CTreeViewCtrlT {
public:
    HWND hwnd() const { return hwnd_; }
    // An item under `parent` (TVI_ROOT for the top level), appended after its siblings.
    HTREEITEM insert_item(HTREEITEM parent, const std::u16string& text, int image, LPARAM value);
    bool delete_all_items();
    bool expand(HTREEITEM item);
    bool select_item(HTREEITEM item);
    HTREEITEM selected_item() const;
    LPARAM item_value(HTREEITEM item) const;
    void set_image_list(HIMAGELIST list);

protected:
    HWND hwnd_ = nullptr;
};

class treeview_c : public CTreeViewCtrlT {
public:
    treeview_c() = default;
    ~treeview_c();
    treeview_c(const treeview_c&) = delete;
    treeview_c& operator=(const treeview_c&) = delete;

    HWND create(HWND parent, const RECT& rect, DWORD style, UINT id);

private:
    static LRESULT CALLBACK subclass_proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
};
