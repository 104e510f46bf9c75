// When a file found inside an earlier find means the earlier one was overwritten there.
//
// A deleted file whose head survived but whose tail was overwritten still carves to its full
// stated length, and would swallow the newer files written over that tail. So while a find is
// copied, its sector starts are checked again; a file of another type that carves there cuts
// the earlier find, unless that type is one that genuinely lives inside the earlier one
// (previews and cover pictures, audio and video streams inside containers).
#pragma once

#include <string_view>

namespace ember {

// True when a file carved by the format named `nested_search_name`, starting on a sector inside
// a find with extension `outer_extension`, shows that the outer find ends there.
bool nested_find_cuts(std::string_view outer_extension, std::string_view nested_search_name);

}  // namespace ember
