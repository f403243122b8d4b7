#include "support/png_writer.h"

#include <png.h>

#include <cstring>

namespace testpng {

std::vector<u8> EncodePng(const std::vector<u8>& pixels, int width, int height, Layout layout,
                          const std::vector<u8>& palette) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = layout == Layout::Rgba   ? PNG_FORMAT_RGBA
                   : layout == Layout::Grey ? PNG_FORMAT_GRAY
                                            : PNG_FORMAT_RGBA_COLORMAP;
    image.colormap_entries = static_cast<png_uint_32>(palette.size() / 4);
    const void* map = palette.empty() ? nullptr : palette.data();
    png_alloc_size_t size = 0;
    if (!png_image_write_get_memory_size(image, size, 0, pixels.data(), 0, map)) return {};
    std::vector<u8> out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, map)) return {};
    out.resize(size);
    return out;
}

}  // namespace testpng
