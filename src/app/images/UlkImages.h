#pragma once

// The window's pictures, compiled in: each a complete PNG file and its byte
// count.  The PNG files beside this header are made by tools/make_pictures.

namespace ulkimages
{
/** The window background, 450 x 402. */
extern const char upgradeprogram_png[];
extern const int upgradeprogram_pngSize;

/** The connection pictures, 109 x 83 each. */
extern const char connected_png[];
extern const int connected_pngSize;
extern const char disconnected_png[];
extern const int disconnected_pngSize;
} // namespace ulkimages
