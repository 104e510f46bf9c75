// The category of a found file, asking the user's attention for an extension in no table.
#pragma once

#include "media/media_kind.h"

// The extension without its dot (ANSI). An extension in no table shows the error message box
// with the extension in a sentence that says where its files are listed, waits for it to close
// and gives media_none.
media_kind classify_extension(const char* extension);
