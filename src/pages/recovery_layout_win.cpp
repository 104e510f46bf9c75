#include "pages/recovery_layout_win.h"

#include "base/language.h"
#include "base/text_format.h"

namespace {

constexpr int strip_left = 62, strip_top = 20;
constexpr int select_all_width = 100, select_all_height = 20;
constexpr size_t max_preview_text = 63;

text_slot_t verdana_slot(const char* key, std::u16string text, int points, bool is_bold, RECT area) {
    text_slot_t slot;
    slot.key = key;
    slot.text = std::move(text);
    slot.points = points;
    slot.is_bold = is_bold;
    slot.area = area;
    return slot;
}

// The column's panel is framed up to 10 pixels from the page's right edge.
int panel_right(const RECT& client) { return client.right - 10; }

}  // namespace

int scan_toggle_left() { return is_current_language("de") ? 400 : 350; }

RECT select_all_rect(const RECT& client) {
    const int left = information_column(client);
    return RECT{left, 270, left + select_all_width, 270 + select_all_height};
}

text_slot_t progress_line_slot(const std::u16string& text) {
    return verdana_slot("", text, 8, false, RECT{strip_left, strip_top, scan_toggle_left(), strip_top + 16});
}

text_slot_t preview_notice_slot(const RECT& client, const std::u16string& text) {
    const int left = is_current_language("de") || is_current_language("fr") ? 600 : 550;
    std::u16string shown = text.substr(0, max_preview_text);
    return verdana_slot("gen_preview", shown, 10, true, RECT{left, 30, panel_right(client), 46});
}

information_texts_t information_texts(const RECT& client) {
    const int column = information_column(client);
    information_texts_t texts;
    texts.hint = verdana_slot("recovery_text", lookup_text("recovery_text"), 8, false,
                              RECT{605, 354, client.right - 15, 424});
    texts.hint.line_gap = 5;
    const char* headings[2] = {"recovery_file_info", "recovery_selection"};
    const int heading_rows[2] = {91, 207};
    for (int i = 0; i < 2; ++i)
        texts.headings[i] = verdana_slot(headings[i], lookup_text(headings[i]), 9, true,
                                         RECT{column + 20, heading_rows[i], panel_right(client), heading_rows[i] + 16});
    const char* facts[5] = {"recovery_entry_folder", "recovery_entry_state", "recovery_created", "recovery_model",
                            "recovery_size"};
    for (int i = 0; i < 5; ++i)
        texts.fact_labels[i] = verdana_slot(facts[i], lookup_text(facts[i]), 8, false,
                                            RECT{column, fact_rows[i], fact_value_left(client), fact_rows[i] + 16});
    const char* counts[2] = {"recovery_total", "recovery_selected"};
    for (int i = 0; i < 2; ++i)
        texts.count_labels[i] = verdana_slot(counts[i], lookup_text(counts[i]), 8, false,
                                             RECT{column, count_rows[i], count_left(client), count_rows[i] + 16});
    return texts;
}

std::vector<text_slot_t> recovery_page_text_slots(const RECT& client) {
    // A card of 2 TiB has 4294967296 sectors; a results file holds far fewer than ten million files.
    const std::u16string sectors = u"4294967296", files = u"9999999";
    std::vector<text_slot_t> slots;
    auto line = [&](const char* key, std::u16string text) {
        text_slot_t slot = progress_line_slot(text);
        slot.key = key;
        slots.push_back(slot);
    };
    line("recovery_sector", format_text(lookup_text("recovery_sector"), {sectors, sectors}));
    line("recovery_loaded", format_text(lookup_text("recovery_loaded"), {files}));
    line("recovery_wait", lookup_text("recovery_wait"));
    line("recovery_no_run", lookup_text("recovery_no_run"));
    slots.push_back(preview_notice_slot(client, lookup_text("gen_preview") + u"..."));
    information_texts_t texts = information_texts(client);
    slots.push_back(texts.hint);
    slots.insert(slots.end(), std::begin(texts.headings), std::end(texts.headings));
    slots.insert(slots.end(), std::begin(texts.fact_labels), std::end(texts.fact_labels));
    slots.insert(slots.end(), std::begin(texts.count_labels), std::end(texts.count_labels));
    // The box's label stands right of its box, in the box's font.
    const RECT box = select_all_rect(client);
    const int box_width = GetSystemMetrics(SM_CXMENUCHECK) + GetSystemMetrics(SM_CXEDGE);
    slots.push_back(verdana_slot("btn_all", lookup_text("btn_all"), 10, false,
                                 RECT{box.left + box_width, box.top, box.right, box.bottom}));
    return slots;
}
