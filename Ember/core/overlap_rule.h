// When a file found inside an earlier find means the earlier one was overwritten there.
//
// A deleted file whose head survived but whose tail was overwritten still carves to its full
// stated length, and would swallow the newer files written over that tail. So while a find is
// copied, its sector starts are checked again; a file of another type that carves there cuts
// the earlier find, unless that type is one that genuinely lives inside the earlier one
// (previews and cover pictures, audio and video streams inside containers).
//
// Where the earlier find's carver recorded its layout (find_layout.h), the place decides first:
// at an embedded start the candidate is the find's own picture or frame; inside payload only a
// stream that the payload may carry (MP3 frames in sound data, DV frames in video samples) is
// left alone, and any other file there, of whatever type, was written over the earlier one.
#pragma once

#include <string_view>

#include "find_layout.h"

namespace ember {

// True when a file carved by the format named `nested_search_name`, starting on a sector inside
// a find with extension `outer_extension`, shows that the outer find ends there.
bool nested_find_cuts(std::string_view outer_extension, std::string_view nested_search_name,
                      nested_place_t place = nested_place_t::other);

}  // namespace ember
