#include "ui/message_box_win.h"

#include <atomic>

#include "app/app_messages.h"

namespace {

int show_system_message(HWND owner, const std::u16string& text, message_mode_t mode) {
    UINT style = MB_OK | MB_ICONINFORMATION;
    if (mode == mode_warning) style = MB_OK | MB_ICONWARNING;
    if (mode == mode_error) style = MB_OK | MB_ICONERROR;
    if (mode == mode_question) style = MB_YESNO | MB_ICONQUESTION;
    int pressed = MessageBoxW(owner, reinterpret_cast<const wchar_t*>(text.c_str()), APP_TITLE, style);
    return pressed == IDOK || pressed == IDYES ? 1 : 0;
}

std::atomic<message_shower_fn> shower{show_system_message};

}  // namespace

int show_message(HWND owner, const std::u16string& text, message_mode_t mode) {
    return shower.load()(owner, text, mode);
}

void set_message_shower(message_shower_fn new_shower) {
    shower.store(new_shower ? new_shower : show_system_message);
}
