// JPEG pictures decoded with libjpeg into rows a device-independent bitmap
// takes as they are. Free of the Windows and libjpeg headers on purpose:
// jpeglib.h and <windows.h> disagree on `boolean`, so the decoder is a
// library of its own and this is its only face.
#pragma once

#include <cstddef>
#include <vector>

namespace cardpush::win32 {

// The picture in data (size bytes), as *width × *height pixels in *bgr:
// top row first, three bytes a pixel (blue, green, red), every row padded
// to a multiple of 4 bytes (a 24-bit DIB's stride). False, with the outputs
// untouched, when data is not a JPEG that libjpeg can decode or the picture
// is larger than 16384 pixels a side; libjpeg's own messages are not
// printed.
bool DecodeJpeg(const unsigned char* data, std::size_t size, int* width, int* height,
                std::vector<unsigned char>* bgr);

}  // namespace cardpush::win32
