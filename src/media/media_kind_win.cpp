#include "media/media_kind_win.h"

#include <windows.h>

#include <cstring>

#include "app/wide_text_win.h"
#include "ui/message_box_win.h"

namespace {

constexpr size_t max_extension_length = 260;

}  // namespace

media_kind classify_extension(const char* extension) {
    if (!extension) extension = "";
    std::string_view text(extension, strnlen(extension, max_extension_length));
    media_kind kind = find_media_kind(text);
    if (kind == media_none) show_message(GetActiveWindow(), from_ansi(text), mode_error);
    return kind;
}
