#include "app/qt/jpeg_image.h"

#include <cstring>
#include <vector>

#include "app/jpeg_picture.h"

namespace cardpush {

QImage DecodeJpeg(const QByteArray& jpeg)
{
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;
    if (jpeg.isEmpty() || !DecodeJpeg(reinterpret_cast<const unsigned char*>(jpeg.constData()),
                                      static_cast<std::size_t>(jpeg.size()), PixelOrder::Rgb,
                                      &width, &height, &pixels)) {
        return {};
    }
    QImage image(width, height, QImage::Format_RGB888);
    if (image.isNull()) {
        return {};
    }
    const std::size_t stride = JpegRowBytes(width);
    for (int row = 0; row < height; ++row) {
        std::memcpy(image.scanLine(row), pixels.data() + stride * static_cast<std::size_t>(row),
                    static_cast<std::size_t>(width) * 3);
    }
    return image;
}

}  // namespace cardpush
