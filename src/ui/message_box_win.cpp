#include "ui/message_box_win.h"

#include <atomic>

#include "ui/message_window_win.h"

namespace {

int show_skinned_message(HWND owner, const std::u16string& text, message_mode_t mode) {
    message_window_c box(text, mode);
    return box.show_modal(owner);
}

std::atomic<message_shower_fn> shower{show_skinned_message};

}  // namespace

int show_message(HWND owner, const std::u16string& text, message_mode_t mode) {
    return shower.load()(owner, text, mode);
}

void set_message_shower(message_shower_fn new_shower) {
    shower.store(new_shower ? new_shower : show_skinned_message);
}
