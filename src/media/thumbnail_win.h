// Makes the thumbnail of one found file on the thumbnail worker's copy of its record.
#pragma once

#include "base/found_file.h"

class jpeg_library_c;

// 0 when the thumbnail was written or already existed (the record is then left alone), -1
// when the file is in no thumbnail group or cannot be decoded. Sets width and height from the
// decoded picture; RAW files also get their time and camera.
int build_thumbnail(found_file_t& record);
// As above with the given JPEG decoder; without one (a library that did not load) a JPEG's
// checked camera preview or GDI+ makes the thumbnail.
int build_thumbnail(found_file_t& record, const jpeg_library_c& jpeg);

// build_thumbnail in the shape the thumbnail worker calls.
void thumbnail_builder(found_file_t& record);
