// The spinner mixin on a real window with real timer messages: it turns on timer 100 only, takes
// every timer message, and draws its frame centred with white left out, only while busy.
#include "ui/wait_window_win.h"

#include <gtest/gtest.h>

#include <optional>

#include "support/input_win.h"

namespace {

class spinner_window_c : public CWindowImpl<spinner_window_c>, public wait_window_c<spinner_window_c> {
public:
    DECLARE_WND_CLASS(L"TesseraSpinnerTest", 0)
    BEGIN_MSG_MAP(spinner_window_c)
        CHAIN_MSG_MAP(wait_window_c<spinner_window_c>)
        MESSAGE_HANDLER(WM_TIMER, on_timer_reaching_owner)
    END_MSG_MAP()
    int timers_reaching_owner = 0;

private:
    LRESULT on_timer_reaching_owner(UINT, WPARAM, LPARAM, bool&) {
        ++timers_reaching_owner;
        return 0;
    }
};

// A red 200 x 100 picture to draw the spinner on.
struct red_canvas_t {
    static constexpr COLORREF red = RGB(255, 0, 0);
    red_canvas_t() : dc(CreateCompatibleDC(nullptr)) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = 200;
        info.bmiHeader.biHeight = -100;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        picture.reset(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, nullptr, nullptr, 0));
        selection.emplace(dc.get(), picture.get());
        brush_c fill(CreateSolidBrush(red));
        RECT all{0, 0, 200, 100};
        FillRect(dc.get(), &all, fill.get());
    }
    int pixels_not_red(const RECT& area) const {
        int count = 0;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x) count += GetPixel(dc.get(), x, y) != red;
        return count;
    }
    dc_c dc;
    bitmap_c picture;
    std::optional<select_object_c> selection;
};

void pump_for(DWORD ms) {
    wait_until([] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        return false;
    }, ms);
}

}  // namespace

TEST(wait_window, turns_on_its_own_timer_and_draws_centred_only_while_busy) {
    spinner_window_c window;
    ASSERT_NE(window.create(nullptr, RECT{100, 100, 300, 200}, L"", WS_POPUP | WS_VISIBLE), nullptr);
    const RECT client{0, 0, 200, 100}, frame_place{68, 18, 132, 82};

    red_canvas_t idle;
    window.draw_spinner(idle.dc.get(), client);
    EXPECT_EQ(idle.pixels_not_red(client), 0) << "not busy: nothing drawn";

    window.start_spinner();
    EXPECT_TRUE(window.busy);
    red_canvas_t busy;
    window.draw_spinner(busy.dc.get(), client);
    EXPECT_GT(busy.pixels_not_red(frame_place), 50) << "the dots";
    EXPECT_EQ(busy.pixels_not_red(frame_place), busy.pixels_not_red(client)) << "centred: 64 x 64 from (68, 18)";
    EXPECT_EQ(GetPixel(busy.dc.get(), 100, 50), red_canvas_t::red) << "the frame's white middle is left out";

    EXPECT_TRUE(wait_until([&] {
        pump_for(20);
        return window.frame_index >= 2;
    })) << "timer 100 turns it";
    window.frame_index = 7;
    SendMessageW(window.hwnd(), WM_TIMER, spinner_timer_id, 0);
    EXPECT_EQ(window.frame_index, 0) << "from 7 it wraps to 0";
    SendMessageW(window.hwnd(), WM_TIMER, 5, 0);
    EXPECT_EQ(window.frame_index, 0) << "another timer does not turn it";
    EXPECT_EQ(window.timers_reaching_owner, 0) << "every timer message is the spinner's";

    window.stop_spinner();
    pump_for(100);
    const int stopped_at = window.frame_index;
    pump_for(300);
    EXPECT_FALSE(window.busy);
    EXPECT_EQ(window.frame_index, stopped_at) << "timer 100 is gone";
}
