// The three persistent settings and the rules for taking a stored value, kept free of the
// registry so that they are tested natively; settings_win.cpp mirrors them in the registry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t path_capacity = 260;      // characters, terminator included
constexpr size_t language_capacity = 32;   // characters, terminator included

struct settings_t {
    std::u16string cache_path;
    std::u16string recovery_path;
    std::u16string language = u"English";
};

// The process-wide settings, written only on the user-interface thread.
extern settings_t settings;

// Cuts a text to a field's capacity, terminator included.
std::u16string cut_to_capacity(std::u16string text, size_t capacity);

// The language name for the installer's index 1 to 11; empty for any other number.
std::u16string installer_language_name(uint32_t index);

// Registry value types as the registry numbers them.
constexpr uint32_t value_type_string = 1;             // REG_SZ
constexpr uint32_t value_type_expandable_string = 2;  // REG_EXPAND_SZ

// Decides whether a queried value may replace a field's default: a string type (an expandable
// one taken literally), an even byte count, and a 16-bit zero at its end; zero bytes give empty
// text. `bytes` holds `byte_count` bytes as the registry returned them.
bool take_string_value(uint32_t type, const uint8_t* bytes, size_t byte_count, std::u16string& out);
