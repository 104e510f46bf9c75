// The skinned toolkit on real windows: the word-wrapping text drawer into a real DC, the bitmap
// button and the message box with its caption button, driven by real mouse input and keys.
#include <gtest/gtest.h>

#include <thread>

#include "base/language.h"
#include "res/resource.h"
#include "support/input_win.h"
#include "ui/bitmap_button_win.h"
#include "ui/draw_text_win.h"
#include "ui/message_window_win.h"
#include "ui/shared_fonts_win.h"

namespace {

const char english[] =
    "[English]\nbtn_ok=\"OK\"\nbtn_no=\"No\"\nbtn_yes=\"Yes\"\nbtn_open=\"Open\"\n";

class skinned_ui : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        create_shared_fonts();
        language_table().clear();
        language_table().load(english, u"English", true);
    }
};

// A 24-bit white picture with Verdana 10 selected, to draw into and look at.
class canvas_c {
public:
    canvas_c(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        SelectObject(dc_, bitmap_);
        RECT all{0, 0, width, height};
        FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SelectObject(dc_, shared_font(font_face::verdana, 10, false));
        SetBkMode(dc_, TRANSPARENT);
    }
    ~canvas_c() {
        DeleteDC(dc_);
        DeleteObject(bitmap_);
    }
    HDC dc() const { return dc_; }
    bool row_has_ink(int y) const {
        GdiFlush();
        for (int x = 0; x < width_; ++x)
            if ((bits_[y * width_ + x] & 0xFFFFFF) != 0xFFFFFF) return true;
        return false;
    }
    int first_ink_row() const {
        for (int y = 0; y < height_; ++y)
            if (row_has_ink(y)) return y;
        return -1;
    }
    int last_ink_row() const {
        for (int y = height_ - 1; y >= 0; --y)
            if (row_has_ink(y)) return y;
        return -1;
    }
    int line_height() const {
        SIZE size{};
        GetTextExtentPoint32W(dc_, L"W", 1, &size);
        return size.cy;
    }

private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_;
    uint32_t* bits_ = nullptr;
};

}  // namespace

TEST_F(skinned_ui, wrapped_text_one_line_is_centred_and_long_texts_break_and_stop_at_the_bottom) {
    {
        canvas_c canvas(300, 120);
        RECT area{80, 30, 272, 100};
        draw_wrapped_text(canvas.dc(), u"Saved.", area, 6, DT_VCENTER);
        EXPECT_EQ(area.bottom, 30 + canvas.line_height());
        int middle = (canvas.first_ink_row() + canvas.last_ink_row()) / 2;
        EXPECT_NEAR(middle, 65, 3) << "a single line sits in the middle of 30..100";
    }
    {
        // A word wider than the rectangle breaks at the character that overflows.
        canvas_c canvas(300, 300);
        SIZE w{};
        GetTextExtentPoint32W(canvas.dc(), L"W", 1, &w);
        const int per_line = 50 / w.cx, count = 20;
        const int lines = (count + per_line - 1) / per_line, h = canvas.line_height();
        RECT area{0, 0, 50, 300};
        draw_wrapped_text(canvas.dc(), std::u16string(count, u'W'), area, 5, DT_CALCRECT);
        EXPECT_EQ(area.bottom, lines * h + (lines - 1) * 5);
        EXPECT_EQ(canvas.first_ink_row(), -1) << "measuring draws nothing";
    }
    {
        // Four lines into room for two: the third line is not drawn, the bottom is its bottom.
        canvas_c canvas(300, 200);
        const int h = canvas.line_height(), gap = 6;
        RECT area{0, 10, 60, 10 + 2 * h + gap + h / 2};
        draw_wrapped_text(canvas.dc(), u"one two three four", area, gap, 0);
        EXPECT_EQ(area.bottom, 10 + 3 * h + 2 * gap);
        EXPECT_LT(canvas.last_ink_row(), 10 + 2 * h + gap);
        EXPECT_GE(canvas.last_ink_row(), 10 + h + gap);
    }
    {
        // An explicit line feed starts a new line, even with room to spare.
        canvas_c canvas(300, 200);
        const int h = canvas.line_height();
        RECT area{0, 0, 290, 200};
        draw_wrapped_text(canvas.dc(), u"a\nb", area, 8, 0);
        EXPECT_EQ(area.bottom, 2 * h + 8);
        EXPECT_TRUE(canvas.row_has_ink(h + 8 + h / 2));
    }
    RECT untouched{1, 2, 3, 4};
    draw_wrapped_text(nullptr, u"", untouched, 5, 0);
    EXPECT_EQ(untouched.bottom, 4);
}

TEST_F(skinned_ui, a_bitmap_button_follows_the_mouse_and_clicks_only_when_released_on_it) {
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 100, 100, 300, 200,
                                  nullptr, nullptr, nullptr, nullptr);
    HWND control = CreateWindowExW(0, L"BUTTON", L"Go", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 20, 20,
                                   10, 10, parent, reinterpret_cast<HMENU>(7), nullptr, nullptr);
    bitmap_button_c button;
    set_button_images(button, IDB_PAGE_BUTTON_NORMAL, -1, IDB_PAGE_BUTTON_HOVER);
    ASSERT_TRUE(button.attach(control));
    EXPECT_EQ(button.image_index(image_hover), 1) << "hover comes second without a pressed image";
    RECT rect{};
    GetWindowRect(control, &rect);
    EXPECT_EQ(rect.right - rect.left, 100);
    EXPECT_EQ(rect.bottom - rect.top, 30);

    // The STATIC parent hands WM_COMMAND to its window procedure; count clicks through a subclass.
    static int clicks;
    clicks = 0;
    SetWindowSubclass(parent, [](HWND h, UINT m, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR) -> LRESULT {
        if (m == WM_COMMAND && LOWORD(w) == 7) ++clicks;
        return DefSubclassProc(h, m, w, l);
    }, 1, 0);
    auto pump = [] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    };
    auto pump_until = [&](const std::function<bool()>& condition) {
        return wait_until([&] { pump(); return condition(); });
    };
    const int cx = (rect.left + rect.right) / 2, cy = (rect.top + rect.bottom) / 2;
    mouse_to(cx, cy);
    EXPECT_TRUE(pump_until([&] { return button.is_mouse_over(); }));
    EXPECT_EQ(button.current_image(), 1);
    mouse_button(true);
    EXPECT_TRUE(pump_until([&] { return button.is_pressed(); }));
    EXPECT_EQ(button.current_image(), 0) << "no pressed image: the normal one shows";
    mouse_to(rect.right + 40, cy);
    EXPECT_TRUE(pump_until([&] { return !button.is_pressed(); })) << "dragged off";
    mouse_to(cx, cy);
    EXPECT_TRUE(pump_until([&] { return button.is_pressed(); })) << "dragged back on";
    mouse_button(false);
    EXPECT_TRUE(pump_until([&] { return clicks == 1; }));

    mouse_button(true);
    pump_until([&] { return button.is_pressed(); });
    mouse_to(rect.right + 40, cy);
    pump_until([&] { return !button.is_pressed(); });
    mouse_button(false);
    pump_until([&] { return GetCapture() == nullptr; });
    EXPECT_EQ(clicks, 1) << "released off the button: no click";
    EXPECT_TRUE(pump_until([&] { return !button.is_mouse_over(); }));
    DestroyWindow(parent);
}

namespace {

struct box_run_t {
    int result = -1;
    HWND dialog = nullptr;
};

// Shows a box on this thread while `drive` acts on it from another, as a user would.
box_run_t run_box(int mode, const std::function<void(HWND, message_window_c&)>& drive) {
    static const std::u16string text = u"Something happened that you should know about.";
    message_window_c box(text, mode);
    box_run_t run;
    std::thread driver([&] {
        run.dialog = find_dialog(L"Tessera");
        if (run.dialog) drive(run.dialog, box);
        // Whatever happened, end a box that is still open so the test cannot hang.
        if (wait_until([&] { return !IsWindow(run.dialog); }, 3000) == false) PostMessageW(run.dialog, WM_COMMAND, 99, 0), EndDialog(run.dialog, 77);
    });
    run.result = box.show_modal(nullptr);
    driver.join();
    return run;
}

POINT centre_of(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

void click_control(HWND dialog, int id) {
    POINT p = centre_of(GetDlgItem(dialog, id));
    click_at(p.x, p.y);
}

// The caption's close button: 31 × 21 just inside the top-right frame corner.
POINT close_button_point(HWND dialog) {
    RECT rect{};
    GetWindowRect(dialog, &rect);
    int frame = GetSystemMetrics(SM_CXDLGFRAME);
    return POINT{rect.right - frame - 15, rect.top + GetSystemMetrics(SM_CYDLGFRAME) + 10};
}

std::wstring text_of(HWND window) {
    wchar_t text[64] = {};
    GetWindowTextW(window, text, 64);
    return text;
}

bool is_inside_box(HWND dialog, HWND control) {
    RECT box{}, item{};
    GetWindowRect(dialog, &box);
    GetWindowRect(control, &item);
    return item.left >= box.left && item.right <= box.right && item.bottom <= box.bottom;
}

}  // namespace

TEST_F(skinned_ui, the_message_box_answers_1_2_or_0_by_button_key_and_caption) {
    for (int mode : {0, 1, 2, 7}) {
        box_run_t run = run_box(mode, [](HWND dialog, message_window_c&) {
            RECT rect{};
            GetWindowRect(dialog, &rect);
            EXPECT_EQ(rect.right - rect.left, 300);
            EXPECT_EQ(rect.bottom - rect.top, 200);
            EXPECT_EQ(text_of(GetDlgItem(dialog, 1)), L"OK");
            EXPECT_FALSE(is_inside_box(dialog, GetDlgItem(dialog, 2))) << "one button shows";
            click_control(dialog, 1);
        });
        EXPECT_EQ(run.result, 1) << "mode " << mode;
    }
    box_run_t yes = run_box(3, [](HWND dialog, message_window_c&) {
        EXPECT_EQ(text_of(GetDlgItem(dialog, 1)), L"Yes");
        EXPECT_EQ(text_of(GetDlgItem(dialog, 2)), L"No");
        EXPECT_TRUE(is_inside_box(dialog, GetDlgItem(dialog, 2)));
        click_control(dialog, 1);
    });
    EXPECT_EQ(yes.result, 1);
    EXPECT_EQ(run_box(3, [](HWND d, message_window_c&) { click_control(d, 2); }).result, 2);
    EXPECT_EQ(run_box(3, [](HWND d, message_window_c&) {
        POINT p = close_button_point(d);
        click_at(p.x, p.y);
    }).result, 0) << "closing the question declines it";
    EXPECT_EQ(run_box(4, [](HWND d, message_window_c&) {
        EXPECT_EQ(text_of(GetDlgItem(d, 1)), L"Open");
        EXPECT_EQ(text_of(GetDlgItem(d, 2)), L"OK");
        click_control(d, 2);
    }).result, 2);
    for (int mode : {0, 3, 4})
        EXPECT_EQ(run_box(mode, [](HWND d, message_window_c&) { press_key(d, VK_ESCAPE); }).result, 2) << mode;
    EXPECT_EQ(run_box(3, [](HWND d, message_window_c&) { press_key(d, VK_RETURN); }).result, 1);
}

TEST_F(skinned_ui, caption_buttons_light_up_press_and_click_only_from_their_own_press) {
    box_run_t run = run_box(3, [](HWND dialog, message_window_c& box) {
        auto& close = *box.buttons.at(0);
        POINT on = close_button_point(dialog);
        RECT rect{};
        GetWindowRect(dialog, &rect);
        POINT caption{rect.left + 120, on.y};
        mouse_to(on.x, on.y);
        EXPECT_TRUE(wait_until([&] { return close.state == caption_hover; }));
        mouse_button(true);
        EXPECT_TRUE(wait_until([&] { return close.state == caption_pressed; }));
        mouse_to(caption.x, caption.y);
        EXPECT_TRUE(wait_until([&] { return close.state == caption_normal; })) << "dragged off";
        mouse_button(false);
        Sleep(100);
        EXPECT_TRUE(IsWindow(dialog)) << "released elsewhere: no action";

        // Hover from outside the frame, then leave it: the button returns to normal.
        mouse_to(on.x, on.y);
        EXPECT_TRUE(wait_until([&] { return close.state == caption_hover; }));
        mouse_to(rect.left + 150, rect.top + 100);
        EXPECT_TRUE(wait_until([&] { return close.state == caption_normal; })) << "left the frame";

        // A double-click on the caption button: the first click ends the box, nothing more.
        mouse_to(on.x, on.y);
        wait_until([&] { return close.state == caption_hover; });
        for (int i = 0; i < 2; ++i) {
            mouse_button(true);
            mouse_button(false);
        }
    });
    EXPECT_EQ(run.result, 0);
}

// A press holds its caption button until its release, wherever that comes: a release off the
// button ends it without a click and leaves the button ready for the next press, and a leave
// between press and release does not end it.
TEST_F(skinned_ui, a_caption_press_lasts_until_its_release_wherever_that_comes) {
    box_run_t run = run_box(3, [](HWND dialog, message_window_c& box) {
        auto& close = *box.buttons.at(0);
        POINT on = close_button_point(dialog);
        POINT inside = centre_of(dialog);
        mouse_to(on.x, on.y);
        EXPECT_TRUE(wait_until([&] { return close.state == caption_hover; }));
        mouse_button(true);
        EXPECT_TRUE(wait_until([&] { return close.state == caption_pressed; }));
        mouse_to(inside.x, inside.y);
        mouse_button(false);
        EXPECT_TRUE(wait_until([&] { return close.state == caption_normal; })) << "released in the box";
        ASSERT_TRUE(IsWindow(dialog)) << "a release off the button clicks nothing";
        // Pressed again a few pixels aside, so that it is a press and not a double-click.
        mouse_to(on.x - 8, on.y);
        EXPECT_TRUE(wait_until([&] { return close.state == caption_hover; }));
        mouse_button(true);
        EXPECT_TRUE(wait_until([&] { return close.state == caption_pressed; }));
        PostMessageW(dialog, WM_NCMOUSELEAVE, 0, 0);  // as the system's leave tracking posts it
        Sleep(100);
        EXPECT_EQ(close.state, caption_pressed) << "a leave does not end a press";
        mouse_button(false);
        EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); })) << "the release on the button closed the box";
    });
    EXPECT_EQ(run.result, 0);
}
