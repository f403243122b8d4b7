#include "platform/png_decoder.h"

#include <png.h>

#include <cstring>

namespace platform {

bool DecodePngToBgra(const u8* data, std::size_t size, int maxSide, int& width, int& height,
                     std::vector<u8>& bgra) {
    bgra.clear();
    if (data == nullptr || size < 8 || maxSide <= 0) return false;
    // The simplified reader reports errors as results; no longjmp crosses our
    // frames.
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size)) return false;
    if (image.width == 0 || image.height == 0 || image.width > static_cast<png_uint_32>(maxSide) ||
        image.height > static_cast<png_uint_32>(maxSide)) {
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_BGRA;
    std::vector<u8> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    bgra = std::move(pixels);
    return true;
}

bool ReadPngSize(const u8* data, std::size_t size, int& width, int& height, bool* alpha) {
    if (data == nullptr || size < 8) return false;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size)) return false;
    bool fits = image.width > 0 && image.height > 0 && image.width <= 0x7FFFFFFFu && image.height <= 0x7FFFFFFFu;
    if (fits) {
        width = static_cast<int>(image.width);
        height = static_cast<int>(image.height);
        if (alpha != nullptr) *alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    }
    png_image_free(&image);
    return fits;
}

}  // namespace platform
