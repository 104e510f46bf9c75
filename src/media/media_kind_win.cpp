#include "media/media_kind_win.h"

#include <windows.h>

#include <cstring>

#include "base/language.h"
#include "base/text_format.h"
#include "base/wide_text_win.h"
#include "ui/message_box_win.h"

namespace {

constexpr size_t max_extension_length = 260;

}  // namespace

media_kind classify_extension(const char* extension) {
    if (!extension) extension = "";
    std::string_view text(extension, strnlen(extension, max_extension_length));
    media_kind kind = find_media_kind(text);
    if (kind != media_none) return kind;
    // The sentence says what the user sees next: the files under their extension and among the
    // videos. A language file without it still names the extension.
    std::u16string extension_text = from_ansi(text);
    std::u16string sentence = lookup_text("unknown_type");
    show_message(GetActiveWindow(), sentence.empty() ? extension_text : format_text(sentence, {extension_text}),
                 mode_error);
    return kind;
}
