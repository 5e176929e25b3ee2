#include "app/qt/jpeg_image.h"

#include <csetjmp>
#include <cstdio>

// libjpeg's header needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace cardpush {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf escape;
};

// libjpeg must not return to the caller after a fatal error; it leaves
// through the jump back to Decode instead of ending the process.
[[noreturn]] void OnFatalError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->escape, 1);
}

void OnMessage(j_common_ptr, int) {}

// Holds no object with a destructor: a jump back to the setjmp here skips
// whatever lies between.
bool Decode(const unsigned char* data, unsigned long size, QImage* image)
{
    jpeg_decompress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnFatalError;
    errors.base.emit_message = OnMessage;
    if (setjmp(errors.escape)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, size);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    *image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                    QImage::Format_RGB888);
    if (image->isNull()) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image->scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& jpeg)
{
    QImage image;
    if (jpeg.isEmpty() || !Decode(reinterpret_cast<const unsigned char*>(jpeg.constData()),
                                  static_cast<unsigned long>(jpeg.size()), &image)) {
        return {};
    }
    return image;
}

}  // namespace cardpush
