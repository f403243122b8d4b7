#include "presentation/picture_file.h"

#include <atomic>
#include <system_error>
#include <vector>

#include "foundation/archive.h"

namespace {

std::atomic<int> g_underWay{0};  // atomic: pictures started and not yet taken or dropped

}  // namespace

classPictureFile ReadPictureFile(const std::string& name) {
    classPictureFile file;
    std::vector<u8> bytes;
    file.read = ReadWholeFile(name, bytes, false);
    if (file.read) file.decoded = platform::DecodeImage(bytes.data(), bytes.size(), file.image);
    // Done here, on the decoding thread when it runs ahead, and not by the
    // draw that waits for the picture.
    file.opaque = file.decoded && !file.image.bgra.empty() &&
                  AllTexelsOpaque(file.image.bgra.data(), file.image.width, file.image.height,
                                  static_cast<size_t>(file.image.width) * 4);
    return file;
}

bool AllTexelsOpaque(const u8* bgra, int32 width, int32 height, size_t pitch) {
    for (int32 row = 0; row < height; ++row) {
        const u8* texel = bgra + static_cast<size_t>(row) * pitch;
        for (int32 column = 0; column < width; ++column) {
            if (texel[static_cast<size_t>(column) * 4 + 3] != 255) return false;
        }
    }
    return true;
}

classPictureAhead::classPictureAhead(classPictureAhead&& other) noexcept : file_(std::move(other.file_)) {}

classPictureAhead& classPictureAhead::operator=(classPictureAhead&& other) noexcept {
    if (this != &other) {
        Drop();
        file_ = std::move(other.file_);
    }
    return *this;
}

classPictureAhead::~classPictureAhead() {
    Drop();
}

void classPictureAhead::Drop() {
    if (!file_.valid()) return;
    file_.wait();
    file_ = {};
    g_underWay.fetch_sub(1, std::memory_order_relaxed);
}

bool classPictureAhead::Start(const std::string& name, const classScriptOrigin& origin) {
    if (file_.valid() || g_underWay.load(std::memory_order_relaxed) >= kMostPicturesAhead) return false;
    try {
        file_ = std::async(std::launch::async, [name, origin] {
            const classScopedScriptOrigin asked(origin);
            return ReadPictureFile(name);
        });
    } catch (const std::system_error&) {
        return false;  // no thread to be had: the draw decodes it itself
    }
    g_underWay.fetch_add(1, std::memory_order_relaxed);
    return true;
}

bool classPictureAhead::Take(classPictureFile& file) {
    if (!file_.valid()) return false;
    file = file_.get();
    g_underWay.fetch_sub(1, std::memory_order_relaxed);
    return true;
}
