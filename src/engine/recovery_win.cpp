#include "engine/recovery_win.h"

#include <cstring>
#include <vector>

#include "base/app_messages.h"
#include "base/language.h"
#include "base/settings.h"
#include "base/text_format.h"
#include "base/unicode_text.h"
#include "base/wide_text_win.h"
#include "engine/found_queue_win.h"
#include "engine/recovery_csv_win.h"
#include "engine/saved_name.h"
#include "media/media_facts_win.h"
#include "media/media_kind.h"
#include "media/media_text.h"
#include "ui/message_box_win.h"

std::atomic<int32_t> current_item{-1};
std::atomic<bool> recovery_stop_requested{false};

namespace {

// Written by the recovery thread before it ends, read by the grid after it waited for the end.
recovery_report_t last_report;

// The records to recover, fixed when the recovery starts, so that the report counts what the
// user had chosen, and the queue's emptyings then, so that a queue emptied meanwhile (the page
// was left, a new scan began) is never copied from under new names.
struct chosen_records_t {
    std::vector<int32_t> indices;
    uint64_t generation = 0;
};

chosen_records_t ticked_records() {
    chosen_records_t chosen;
    queue_lock_c lock;
    const found_queue_c& queue = found_queue();
    chosen.generation = queue.generation();
    for (size_t i = 0; i < queue.size(); ++i)
        if (queue.at(i).selected != 0) chosen.indices.push_back(static_cast<int32_t>(i));
    return chosen;
}

enum class record_state_t { ok, missing, gone };

// One chosen record as the copy and the list need it, taken out of the queue under its lock.
struct chosen_file_t {
    copy_request_t request;
    found_file_t facts;  // the record's copy, without its thumbnail
};

record_state_t take_record(int32_t index, uint64_t generation, chosen_file_t& chosen) {
    queue_lock_c lock;
    const found_queue_c& queue = found_queue();
    if (queue.generation() != generation) return record_state_t::gone;
    if (index < 0 || static_cast<size_t>(index) >= queue.size()) return record_state_t::missing;
    chosen.facts = queue.at(static_cast<size_t>(index));
    chosen.facts.thumb_image.reset();
    return record_state_t::ok;
}

// The list's word for how whole the saved file is.
const char* state_word(const find_origin_t& origin) {
    if (origin.completeness == completeness_t::cut || origin.completeness == completeness_t::unreadable)
        return "damaged";
    if (origin.assembly == assembly_t::joined) return "joined";
    if (origin.assembly == assembly_t::chain || origin.assembly == assembly_t::contiguous) return "whole";
    return "carved";
}

const char* kind_word(const char* ext) {
    switch (find_media_kind(ext)) {
    case media_photo: return "photo";
    case media_video: return "video";
    case media_audio: return "audio";
    default: return "other";
    }
}

int32_t recover_record(int32_t index, uint64_t generation, bool& is_disk_full, recovery_csv_file_c* list) {
    is_disk_full = false;
    chosen_file_t chosen;
    record_state_t state = take_record(index, generation, chosen);
    if (state == record_state_t::gone) return recovery_stopped;
    if (state == record_state_t::missing) return recovery_source_unreadable;
    found_file_t& facts = chosen.facts;
    facts.path[sizeof facts.path - 1] = '\0';
    facts.ext[sizeof facts.ext - 1] = '\0';
    facts.camera_model[sizeof facts.camera_model - 1] = '\0';
    copy_request_t& request = chosen.request;
    request.source = from_ansi(facts.path);
    request.folder = settings.recovery_path;
    request.is_trimmed = std::strncmp(facts.ext, "x3f", 3) == 0;
    request.name = saved_file_name(facts.origin.path, facts.ext, index, request.folder.size());
    // The thumbnail worker may not have reached this file yet.
    if (facts.taken_time <= 0) read_media_facts(request.source, facts);
    request.modified_time = facts.taken_time > 0 ? facts.taken_time : card_time_to_utc(facts.origin.modified);
    copy_outcome_t outcome;
    int32_t code = copy_recovered_file(request, recovery_stop_requested, is_disk_full, &outcome);
    if (code != recovery_copied || !list) return code;
    recovery_csv_row_t row;
    row.saved_name = utf16_to_utf8(outcome.name);
    row.original_path = facts.origin.path;
    row.kind = kind_word(facts.ext);
    row.size = outcome.size;
    row.state = state_word(facts.origin);
    row.date_taken = taken_time_iso(facts.taken_time);
    row.camera = facts.camera_model;
    row.sha256 = outcome.sha256;
    list->append(row);
    return code;
}

uint64_t queue_generation() {
    queue_lock_c lock;
    return found_queue().generation();
}

const char* report_key(recovery_shortfall_t shortfall) {
    switch (shortfall) {
    case recovery_shortfall_t::disk_full: return "recovery_disk_full";
    case recovery_shortfall_t::folder_refused: return "recovery_folder_refused";
    case recovery_shortfall_t::stopped: return "recovery_stopped";
    default: return "recovery_unreadable";
    }
}

}  // namespace

int32_t recover_one(int32_t index, bool* is_disk_full) {
    bool is_full = false;
    recovery_csv_file_c list(settings.recovery_path);
    int32_t code = recover_record(index, queue_generation(), is_full, &list);
    if (is_disk_full) *is_disk_full = is_full;
    return code;
}

// Only files written whole count. A full disk or a folder that refuses files ends the run, as
// every further file would fail the same way; an unreadable found file does not.
int32_t recover_selected(void* owner_param) {
    HWND owner = static_cast<HWND>(owner_param);
    recovery_report_t report;
    chosen_records_t chosen = ticked_records();
    int32_t fallback = current_item.load();
    if (chosen.indices.empty() && fallback != -1) chosen.indices.push_back(fallback);
    report.chosen = static_cast<int32_t>(chosen.indices.size());
    recovery_csv_file_c list(settings.recovery_path);
    for (int32_t index : chosen.indices) {
        bool is_disk_full = false;
        int32_t code = recovery_stop_requested.load() ? recovery_stopped
                                                       : recover_record(index, chosen.generation, is_disk_full, &list);
        if (code == recovery_copied) {
            ++report.recovered;
            continue;
        }
        if (code == recovery_source_unreadable) {
            report.shortfall = recovery_shortfall_t::unreadable;
            continue;
        }
        report.shortfall = code == recovery_stopped                       ? recovery_shortfall_t::stopped
                           : code == recovery_short_write || is_disk_full ? recovery_shortfall_t::disk_full
                                                                          : recovery_shortfall_t::folder_refused;
        break;
    }
    last_report = report;
    if (owner) PostMessageW(owner, UM_RECOVERY_DONE, 0, 0);
    return report.recovered;
}

recovery_report_t last_recovery_report() { return last_report; }

bool show_recovery_report(HWND owner, const recovery_report_t& report) {
    if (report.chosen == 0) {
        show_message(owner, lookup_text("no_selection"), mode_warning);
        return false;
    }
    std::u16string recovered = decimal_text(int64_t(report.recovered));
    std::u16string text;
    message_mode_t mode = mode_done;
    if (report.recovered == report.chosen) {
        text = format_text(lookup_text("recovery_finished"), {recovered});
    } else {
        text = format_text(lookup_text(report_key(report.shortfall)), {recovered, decimal_text(int64_t(report.chosen))});
        mode = report.recovered > 0 ? mode_warning : mode_error;
    }
    if (text.size() > 255) text.resize(255);
    show_message(owner, text, mode);
    return report.recovered > 0;
}
