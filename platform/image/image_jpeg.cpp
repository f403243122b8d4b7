// JPEG through libjpeg-turbo. Its default error handler ends the process, so
// errors jump back here instead, and its warnings (a truncated file, extra
// bytes) are kept quiet: a picture that decodes is shown as far as it goes.
// jpeglib.h needs size_t and FILE declared before it.
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include "platform/image/image.h"

namespace platform {
namespace {

struct JpegError {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void OnJpegError(j_common_ptr info) {
    JpegError* error = reinterpret_cast<JpegError*>(info->err);
    std::longjmp(error->jump, 1);
}

void OnJpegMessage(j_common_ptr, int) {}
void OnJpegOutput(j_common_ptr) {}

// A progressive file can hold thousands of tiny scans that each walk the
// whole picture; no real encoder writes more than a few dozen.
constexpr int kMaxScans = 256;

struct JpegProgress {
    jpeg_progress_mgr base;
    j_decompress_ptr info;
};

void OnJpegProgress(j_common_ptr common) {
    j_decompress_ptr info = reinterpret_cast<j_decompress_ptr>(common);
    if (info->is_decompressor && info->input_scan_number > kMaxScans) OnJpegError(common);
}

// Only plain C objects live in this frame, so jumping back into it skips no destructor.
bool DecodeWithJump(jpeg_decompress_struct* info, JpegError* error, const u8* data, size_t size, bool headerOnly,
                    DecodedImage& out) {
    if (setjmp(error->jump) != 0) return false;
    jpeg_create_decompress(info);
    JpegProgress progress{};
    progress.base.progress_monitor = OnJpegProgress;
    progress.info = info;
    info->progress = &progress.base;
    jpeg_mem_src(info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK) return false;
    if (!IsAcceptableImageSize(info->image_width, info->image_height)) return false;
    out.format = ImageFormat::Jpeg;
    out.width = static_cast<int>(info->image_width);
    out.height = static_cast<int>(info->image_height);
    if (headerOnly) return true;
    // CMYK and other colour spaces have no straight conversion to BGRA here.
    if (info->jpeg_color_space != JCS_GRAYSCALE && info->jpeg_color_space != JCS_YCbCr &&
        info->jpeg_color_space != JCS_RGB) {
        return false;
    }
    info->out_color_space = JCS_EXT_BGRA;
    if (!jpeg_start_decompress(info)) return false;
    if (info->output_width != info->image_width || info->output_height != info->image_height ||
        info->output_components != 4) {
        return false;
    }
    const size_t pitch = static_cast<size_t>(out.width) * 4;
    out.bgra.assign(pitch * static_cast<size_t>(out.height), 0);
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = out.bgra.data() + pitch * info->output_scanline;
        if (jpeg_read_scanlines(info, &row, 1) != 1) return false;
    }
    jpeg_finish_decompress(info);
    // BGRA from libjpeg carries an alpha of 255 already.
    return true;
}

}  // namespace

bool DecodeJpegImage(const u8* data, size_t size, bool headerOnly, DecodedImage& out) {
    if (data == nullptr || size < 4 || size > 0xFFFFFFFFu) return false;
    jpeg_decompress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = OnJpegError;
    error.base.emit_message = OnJpegMessage;
    error.base.output_message = OnJpegOutput;
    bool ok = DecodeWithJump(&info, &error, data, size, headerOnly, out);
    jpeg_destroy_decompress(&info);
    if (!ok) out.bgra.clear();
    out.opaque = ok && !headerOnly;  // a JPEG has no alpha
    return ok;
}

}  // namespace platform
