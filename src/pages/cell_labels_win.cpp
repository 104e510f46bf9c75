#include "pages/cell_labels_win.h"

#include <vector>

#include "base/wide_text_win.h"

std::u16string fit_with_ellipsis(HDC dc, const std::u16string& text, int width) {
    if (text.empty() || width <= 0) return {};
    const int length = static_cast<int>(text.size());
    std::vector<int> ends(text.size());
    int fit = 0;
    SIZE whole{};
    if (!GetTextExtentExPointW(dc, wide(text), length, width, &fit, ends.data(), &whole)) return text;
    if (fit >= length && whole.cx <= width) return text;
    static const std::u16string ellipsis = u"...";
    SIZE dots{};
    GetTextExtentPoint32W(dc, wide(ellipsis), static_cast<int>(ellipsis.size()), &dots);
    // The longest start whose characters and the dots still fit; only the extents of the
    // characters that fit at all were measured.
    int kept = 0;
    while (kept < fit && ends[static_cast<size_t>(kept)] + dots.cx <= width) ++kept;
    return text.substr(0, static_cast<size_t>(kept)) + ellipsis;
}

const std::u16string* cell_labels_c::find(int32_t index) const {
    auto found = fitted_.find(index);
    return found == fitted_.end() ? nullptr : &found->second;
}

const std::u16string& cell_labels_c::fit(HDC dc, int32_t index, const std::u16string& label, int width) {
    if (fitted_.size() >= max_kept) fitted_.clear();
    return fitted_[index] = fit_with_ellipsis(dc, label, width);
}
