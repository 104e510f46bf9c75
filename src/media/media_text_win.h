// The info panel's camera text: the record's ANSI text in UTF-16, "Unknown" when empty.
#pragma once

#include <string>

std::u16string camera_model_text(const char* camera_model, size_t capacity);
