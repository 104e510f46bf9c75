// The scan page's painting: the panels, the progress strip and the information column, composed
// off-screen and copied in one step so that the 200 ms repaints do not flicker.
#include <cstring>
#include <ctime>

#include "base/language.h"
#include "base/text_format.h"
#include "base/unicode_text.h"
#include "base/wide_text_win.h"
#include "engine/found_queue_win.h"
#include "media/media_text.h"
#include "media/media_text_win.h"
#include "pages/recovery_layout_win.h"
#include "pages/recovery_window_win.h"
#include "ui/painting_win.h"
#include "ui/shared_fonts_win.h"

namespace {

constexpr COLORREF heading_colour = RGB(65, 113, 184);
constexpr COLORREF number_colour = RGB(66, 90, 138);
constexpr COLORREF preview_colour = RGB(255, 0, 0);
constexpr RECT bar_rect{62, 32, 322, 47};

void draw_text_at(HDC dc, int x, int y, const std::u16string& text) {
    TextOutW(dc, x, y, wide(text), static_cast<int>(text.size()));
}

void draw_slots(HDC dc, const text_slot_t* first, const text_slot_t* end) {
    for (; first != end; ++first) draw_slot(dc, *first);
}

void frame_panel(HDC dc, HBRUSH brush, int left, int top, int right, int bottom) {
    RECT panel{left, top, right, bottom};
    FrameRect(dc, &panel, brush);
}

// The facts the information column shows of the current record, read under the queue lock.
struct record_facts_t {
    bool is_valid = false;
    int64_t taken_time = 0;
    char camera_model[camera_model_capacity] = {};
    int32_t width = 0, height = 0;
    std::string original_path;  // UTF-8, as the card's directory gave it
    entry_state_t state = entry_state_t::none;
    int64_t modified_time = 0;  // the entry's, UTC
};

// The folder part of a card path, "\" for the root; empty when no entry named the file.
std::u16string folder_text(const std::string& path) {
    if (path.empty()) return {};
    size_t separator = path.rfind('\\');
    if (separator == std::string::npos) return u"\\";
    return utf8_to_utf16(path.substr(0, separator));
}

// A value in the column's right part, cut with an ellipsis where it does not fit.
void draw_value(HDC dc, const RECT& client, int y, const std::u16string& text, UINT cut) {
    RECT box{fact_value_left(client), y, client.right - 14, y + 16};
    DrawTextW(dc, wide(text), static_cast<int>(text.size()), &box, DT_SINGLELINE | DT_NOPREFIX | DT_LEFT | cut);
}

record_facts_t facts_of(int32_t index) {
    record_facts_t facts;
    queue_lock_c lock;
    const found_queue_c& queue = found_queue();
    if (index < 0 || static_cast<size_t>(index) >= queue.size()) return facts;
    const found_file_t& record = queue.at(static_cast<size_t>(index));
    facts.is_valid = true;
    facts.taken_time = record.taken_time;
    std::memcpy(facts.camera_model, record.camera_model, sizeof facts.camera_model);
    facts.width = record.width;
    facts.height = record.height;
    facts.original_path = record.origin.path;
    facts.state = record.origin.state;
    facts.modified_time = card_time_to_utc(record.origin.modified);
    return facts;
}

bool has_waiting_thumbnails() {
    queue_lock_c lock;
    return found_queue().thumbs_done < found_queue().size();
}

}  // namespace

LRESULT recovery_window_c::on_paint(UINT, WPARAM, LPARAM, bool&) {
    paint_dc_c paint(hwnd());
    RECT client = client_rect(hwnd());
    memory_dc_c buffer(paint.get(), client.right, client.bottom);
    SetBkMode(buffer.get(), TRANSPARENT);
    paint_panels(buffer.get(), client);
    paint_progress(buffer.get(), client);
    // The tick repaints the strip alone; the column is drawn only when it is to be painted.
    RECT column = information_rect(client), overlap{};
    if (IntersectRect(&overlap, &column, &paint.dirty())) paint_information(buffer.get(), client);
    buffer.copy_to(paint.get());
    return 0;
}

void recovery_window_c::paint_panels(HDC dc, const RECT& client) {
    const int right = client.right;
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    draw_bitmap(dc, background_.get(), 0, 0);
    frame_panel(dc, frame_brush_.get(), 10, 10, right - 10, 70);
    frame_panel(dc, frame_brush_.get(), 10, 80, 160, 425);
    frame_panel(dc, frame_brush_.get(), 170, 80, 600, 425);
    frame_panel(dc, frame_brush_.get(), 599, 80, right - 10, 425);
    RECT band{0, 435, right, client.bottom};
    FillRect(dc, &band, light_brush_.get());
    draw_bitmap(dc, header_.get(), 12, 12);
}

RECT recovery_window_c::strip_rect(const RECT& client) { return RECT{0, 0, client.right, 75}; }
RECT recovery_window_c::information_rect(const RECT& client) { return RECT{599, 80, client.right, 430}; }

void recovery_window_c::paint_progress(HDC dc, const RECT& client) {
    {
        select_object_c font(dc, shared_font(font_face::verdana, 8, false));
        SetTextColor(dc, RGB(0, 0, 0));
        // A packet whose position lies past its total must not draw the bar past its end.
        float progress = scan_.update_progress();
        drawn_progress_ = progress < 0 ? 0 : progress > 1 ? 1 : progress;
        if (is_bar_shown()) {
            RECT bar = bar_rect;
            FillRect(dc, &bar, light_brush_.get());
            RECT filled = bar;
            filled.right = bar.left + static_cast<int>(static_cast<float>(bar.right - bar.left) * drawn_progress_);
            if (filled.right > filled.left) FillRect(dc, &filled, pattern_brush_.get());
            std::u16string percent = decimal_text(int64_t(drawn_progress_ * 100)) + u"%";
            DrawTextW(dc, wide(percent), -1, &bar, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
        draw_slot(dc, progress_line_slot(strip_text()));
    }
    if (has_waiting_thumbnails()) {
        SetTextColor(dc, preview_colour);
        static const char16_t* const dots[3] = {u".", u"..", u"..."};
        draw_slot(dc, preview_notice_slot(client, lookup_text("gen_preview") + dots[std::time(nullptr) % 3]));
    }
}

std::u16string recovery_window_c::strip_text() const {
    if (scan_.is_results_only()) return format_text(lookup_text("recovery_loaded"), {decimal_text(uint64_t(shown_))});
    uint64_t total = scan_.total_sectors();
    if (total != 0) return format_text(lookup_text("recovery_sector"), {decimal_text(scan_.current_sector()), decimal_text(total)});
    // Before the first packet a run is being prepared; a run that ended before it says so.
    run_end_t end = scan_.last_end();
    bool has_not_run = scan_.state() == scan_state_t::idle && end != run_end_t::none && !is_scanned_to_the_end(end);
    return lookup_text(has_not_run ? "recovery_no_run" : "recovery_wait");
}

void recovery_window_c::paint_information(HDC dc, const RECT& client) {
    const int column = information_column(client);
    const information_texts_t texts = information_texts(client);
    SetTextColor(dc, RGB(0, 0, 0));
    draw_slot(dc, texts.hint);
    draw_bitmap(dc, info_icon_.get(), column, 90);
    draw_bitmap(dc, selection_icon_.get(), column, 206);
    SetTextColor(dc, heading_colour);
    draw_slots(dc, std::begin(texts.headings), std::end(texts.headings));
    SetTextColor(dc, RGB(0, 0, 0));
    draw_slots(dc, std::begin(texts.fact_labels), std::end(texts.fact_labels));
    draw_slots(dc, std::begin(texts.count_labels), std::end(texts.count_labels));
    select_object_c font(dc, shared_font(font_face::verdana, 8, false));
    for (int y : {196, 296}) {
        RECT line{column, y, client.right - 20, y + 1};
        FillRect(dc, &line, frame_brush_.get());
    }
    SetTextColor(dc, number_colour);
    draw_text_at(dc, count_left(client), count_rows[0], decimal_text(int64_t(view_total_)));
    draw_text_at(dc, count_left(client), count_rows[1], decimal_text(int64_t(view_ticked_)));

    record_facts_t facts = facts_of(current_);
    if (!facts.is_valid) return;
    SetTextColor(dc, RGB(0, 0, 0));
    std::u16string folder = folder_text(facts.original_path);
    draw_value(dc, client, fact_rows[0], folder.empty() ? unknown_text : folder, DT_PATH_ELLIPSIS);
    const char* state_key = facts.state == entry_state_t::deleted ? "recovery_entry_deleted"
                            : facts.state == entry_state_t::live  ? "recovery_entry_live"
                                                                  : nullptr;
    draw_value(dc, client, fact_rows[1], state_key ? lookup_text(state_key) : unknown_text, DT_END_ELLIPSIS);
    // When it was taken, or else when the card last changed it.
    int64_t time = facts.taken_time > 0 ? facts.taken_time : facts.modified_time;
    draw_value(dc, client, fact_rows[2], taken_time_text(time), DT_END_ELLIPSIS);
    draw_value(dc, client, fact_rows[3], camera_model_text(facts.camera_model, sizeof facts.camera_model), DT_END_ELLIPSIS);
    draw_value(dc, client, fact_rows[4], picture_size_text(facts.width, facts.height), DT_END_ELLIPSIS);
}
