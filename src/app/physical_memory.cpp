#include "app/physical_memory.h"

bool parse_capacity_text(std::u16string_view text, uint64_t& bytes) {
    if (text.empty()) return false;
    uint64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return false;
        uint64_t digit = static_cast<uint64_t>(c - u'0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    bytes = value;
    return true;
}
