// The code page of both programs' narrow text: found-file and work-folder paths, the engine's
// command line, camera names. It is the process's ANSI code page (CP_ACP) on both sides of the
// pipe: the engine creates its files through the narrow file API, which uses that code page, and
// whoever widens or narrows such text does it with these two functions, so that one name always
// means one file. Characters the code page cannot hold become its default character.
#pragma once

#include <string>
#include <string_view>

std::string to_ansi(std::u16string_view text);
std::u16string from_ansi(std::string_view text);
