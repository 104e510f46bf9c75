// UTF-8 and UTF-16 conversion and case-blind comparison of UTF-16 text, without any system call,
// so that the language file and the settings rules build and test natively.
#pragma once

#include <string>
#include <string_view>

// Decodes UTF-8; every malformed or truncated sequence becomes one U+FFFD.
std::u16string utf8_to_utf16(std::string_view text);
// Encodes UTF-16; an unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);

// Simple lower-case folding for Latin, Greek and Cyrillic letters; other characters unchanged.
char16_t fold_case(char16_t c);
bool equals_ignoring_case(std::u16string_view a, std::u16string_view b);

// The text from the last '.' of the final path component ('/' or '\' end a folder) to the end,
// lower-cased; empty when the final component has no '.'.
std::u16string lower_extension(std::u16string_view path);
