#include "app/jpeg_picture.h"

#include <csetjmp>
#include <cstdio>
#include <utility>

// libjpeg's header needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace cardpush {
namespace {

constexpr JDIMENSION kMaxSide = 16384;

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

// The picture is decoded into *pixels, which the caller sized to zero;
// only the vector's buffer is touched between setjmp and a jump back, and
// a vector's buffer has no destructor that the jump could skip.
bool Decode(const unsigned char* data, unsigned long size, J_COLOR_SPACE space, int* width,
            int* height, std::vector<unsigned char>* pixels)
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
    info.out_color_space = space;
    jpeg_start_decompress(&info);
    if (info.output_width == 0 || info.output_height == 0 || info.output_width > kMaxSide ||
        info.output_height > kMaxSide || info.output_components != 3) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    const std::size_t stride = JpegRowBytes(static_cast<int>(info.output_width));
    try {
        pixels->resize(stride * info.output_height);
    } catch (...) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels->data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    *width = static_cast<int>(info.output_width);
    *height = static_cast<int>(info.output_height);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

bool DecodeJpeg(const unsigned char* data, std::size_t size, PixelOrder order, int* width,
                int* height, std::vector<unsigned char>* pixels)
{
    if (data == nullptr || size == 0 || size > 0xFFFFFFFFu) {
        return false;
    }
    std::vector<unsigned char> decoded;
    int w = 0;
    int h = 0;
    const J_COLOR_SPACE space = order == PixelOrder::Bgr ? JCS_EXT_BGR : JCS_EXT_RGB;
    if (!Decode(data, static_cast<unsigned long>(size), space, &w, &h, &decoded)) {
        return false;
    }
    *width = w;
    *height = h;
    *pixels = std::move(decoded);
    return true;
}

}  // namespace cardpush
