// JPEG pictures (the About box's) decoded with libjpeg, for both faces: rows
// that a Qt image and a Windows device-independent bitmap take as they are.
// Free of the toolkits' and libjpeg's headers on purpose: jpeglib.h and
// <windows.h> disagree on `boolean`, so the decoder is a library of its own
// and this is its only face.
#pragma once

#include <cstddef>
#include <vector>

namespace cardpush {

// The bytes of a pixel: red, green, blue (Qt) or blue, green, red (a DIB).
enum class PixelOrder { Rgb, Bgr };

// The picture in data (size bytes), as *width × *height pixels in *pixels:
// top row first, three bytes a pixel in the given order, every row padded
// to a multiple of 4 bytes (the stride of a 24-bit DIB and of Qt's RGB888). False, with the outputs
// untouched, when data is not a JPEG that libjpeg can decode or the picture
// is larger than 16384 pixels a side; libjpeg's own messages are not
// printed.
bool DecodeJpeg(const unsigned char* data, std::size_t size, PixelOrder order, int* width,
                int* height, std::vector<unsigned char>* pixels);

// The stride of such a picture's rows.
constexpr std::size_t JpegRowBytes(int width)
{
    return (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
}

}  // namespace cardpush
