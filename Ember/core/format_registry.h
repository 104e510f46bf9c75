// Every carvable type, and the ones a search-option string enables.
#pragma once

#include <string_view>
#include <vector>

#include "format.h"

namespace ember {

// All types: image first, then video, then audio. A sector is offered to them in this order and
// the first carver that accepts it wins.
std::vector<const format_t*> all_formats();

// The types whose search name is one of `names` (compared exactly, as the engine lists spell
// them: "TiVo", "jpg").
std::vector<const format_t*> formats_named(std::span<const std::string_view> names);

}  // namespace ember
