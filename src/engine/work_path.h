// Whether a path the engine reports lies inside the work folder it was given. The engine's
// reports come over a pipe, and a thumbnail is written beside every reported file, so a path
// elsewhere (another root, "..", a folder that merely starts with the same characters) is refused.
#pragma once

#include <string_view>

// Both paths narrow, in the same code page; "/" counts as "\", letters compare without case.
// The part after the folder must be one or more plain names: none empty, "." or "..", none
// holding a drive colon, a wildcard or a control character, none ending in a dot or a space
// (which Windows would strip, making "..." mean "..").
bool is_path_inside_folder(std::string_view path, std::string_view folder);
