#include "media/media_text_win.h"

#include <cstring>

#include "base/wide_text_win.h"
#include "media/media_text.h"

std::u16string camera_model_text(const char* camera_model, size_t capacity) {
    size_t length = camera_model ? strnlen(camera_model, capacity) : 0;
    if (length == 0) return unknown_text;
    std::u16string text = from_ansi(std::string_view(camera_model, length));
    return text.empty() ? std::u16string(unknown_text) : text;
}
