// A PNG's tEXt chunks: one written into an encoded thumbnail, one read back from its first bytes.
// A thumbnail keeps in this way the size of the picture it was made from, so that a scan loaded
// again shows that size without decoding the file anew.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Puts a tEXt chunk of `keyword` (1 to 79 printable Latin-1 characters) and `text` right after
// the IHDR chunk of the PNG in `png`; false, `png` unchanged, when it is no PNG or the keyword is
// not allowed.
bool add_png_text(std::vector<uint8_t>& png, const std::string& keyword, const std::string& text);

// The text of the first tEXt chunk named `keyword` within the first `size` bytes of a PNG, at most
// `max_text` bytes of it; false when there is none, when a chunk's length runs past `size` before
// it, or when its checksum is wrong.
bool find_png_text(const uint8_t* png, size_t size, const std::string& keyword, std::string& text,
                   size_t max_text = 256);
