// The grid's cell labels fitted to their width once per record rather than at every repaint:
// measuring a name with an ellipsis costs far more than drawing it, and the 200 ms and
// one-second repaints draw the same few dozen names again and again.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <unordered_map>

// `text` cut with "..." at its end so that it is at most `width` pixels wide in the font
// selected into `dc`, as DT_END_ELLIPSIS draws it; the text itself when it fits.
std::u16string fit_with_ellipsis(HDC dc, const std::u16string& text, int width);

class cell_labels_c {
public:
    // The fitted label of record `index`, or null when it has not been fitted yet.
    const std::u16string* find(int32_t index) const;
    // Fits `label` for record `index` and keeps the result.
    const std::u16string& fit(HDC dc, int32_t index, const std::u16string& label, int width);
    // Forgets every label: the records, the font or the recovery folder changed.
    void clear() { fitted_.clear(); }

private:
    // A few screens' worth are drawn at a time; a long scroll starts over rather than keep one
    // label per record of a 100,000-file group.
    static constexpr size_t max_kept = 4096;
    std::unordered_map<int32_t, std::u16string> fitted_;
};
