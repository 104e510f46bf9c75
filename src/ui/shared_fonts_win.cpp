#include "ui/shared_fonts_win.h"

#include <vector>

#include "ui/font_size.h"
#include "base/handles_win.h"

namespace {

struct font_description_t {
    font_face face;
    int points;
    bool is_bold;
};

// Verdana 8 normal stands twice, as the pages were laid out with two copies of it.
const font_description_t font_descriptions[] = {
    {font_face::arial, 8, false},   {font_face::arial, 9, false},   {font_face::arial, 11, false},
    {font_face::arial, 15, false},  {font_face::arial, 18, false},  {font_face::arial, 16, false},
    {font_face::arial, 18, true},   {font_face::arial, 25, true},   {font_face::verdana, 8, false},
    {font_face::verdana, 8, false}, {font_face::verdana, 10, false}, {font_face::verdana, 8, true},
    {font_face::verdana, 9, true},  {font_face::verdana, 10, true}, {font_face::verdana, 12, true},
    {font_face::verdana, 12, false}, {font_face::verdana, 14, false}, {font_face::verdana, 16, true},
    {font_face::verdana, 16, false}, {font_face::verdana, 18, false}, {font_face::verdana, 22, false},
    {font_face::verdana, 25, false},
};
constexpr size_t font_count = sizeof font_descriptions / sizeof font_descriptions[0];

font_c fonts[font_count];

}  // namespace

void create_shared_fonts() {
    for (size_t i = 0; i < font_count; ++i) {
        const font_description_t& font = font_descriptions[i];
        fonts[i].reset(CreateFontW(-font_pixel_height(font.points), 0, 0, 0,
                                   font.is_bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                   DEFAULT_CHARSET, OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS,
                                   ANTIALIASED_QUALITY, VARIABLE_PITCH,
                                   font.face == font_face::arial ? L"Arial" : L"Verdana"));
    }
}

HFONT shared_font(font_face face, int points, bool is_bold) {
    for (size_t i = 0; i < font_count; ++i) {
        const font_description_t& font = font_descriptions[i];
        if (font.face == face && font.points == points && font.is_bold == is_bold) return fonts[i].get();
    }
    return nullptr;
}
