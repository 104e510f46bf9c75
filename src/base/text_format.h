// Fills the placeholders {1} to {9} of a language text. The texts come from a data file, so a
// printf-style format would let a wrong translation read arguments that were never passed; here
// a placeholder without an argument simply stays as it is written.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

std::u16string format_text(std::u16string_view pattern,
                           std::initializer_list<std::u16string_view> args);

std::u16string decimal_text(uint64_t value);
std::u16string decimal_text(int64_t value);
