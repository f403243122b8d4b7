#include "presentation/picture_file.h"

#include <atomic>
#include <system_error>
#include <vector>

#include "foundation/archive.h"
#include "foundation/worker_threads.h"

namespace {

std::atomic<int> g_underWay{0};  // atomic: pictures started and not yet taken or dropped
std::atomic<bool> g_frameWaits{false};  // atomic: set by the render thread, taken by a decoding thread

void WakeAFrameThatWaits() {
    if (g_frameWaits.exchange(false, std::memory_order_acq_rel)) WakeRenderThread();
}

}  // namespace

classPictureFile ReadPictureFile(const std::string& name, classPictureSize* size) {
    classPictureFile file;
    std::vector<u8> bytes;
    file.read = ReadWholeFile(name, bytes, false, &file.tooLarge);
    platform::DecodedImage header;
    if (file.read && size != nullptr && platform::ReadImageInfo(bytes.data(), bytes.size(), header)) {
        size->height.store(header.height, std::memory_order_relaxed);
        size->width.store(header.width, std::memory_order_release);
        // A frame held for the picture can make its textures meanwhile.
        WakeAFrameThatWaits();
    }
    if (file.read) file.decoded = platform::DecodeImage(bytes.data(), bytes.size(), file.image);
    // Done here, on the decoding thread when it runs ahead, and not by the
    // draw that waits for the picture.
    file.opaque = file.decoded && !file.image.bgra.empty() &&
                  (file.image.opaque || AllTexelsOpaque(file.image.bgra.data(), file.image.width, file.image.height,
                                                        static_cast<size_t>(file.image.width) * 4));
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

classPictureAhead::classPictureAhead(classPictureAhead&& other) noexcept
    : file_(std::move(other.file_)), thread_(std::move(other.thread_)), size_(std::move(other.size_)) {}

classPictureAhead& classPictureAhead::operator=(classPictureAhead&& other) noexcept {
    if (this != &other) {
        Drop();
        file_ = std::move(other.file_);
        thread_ = std::move(other.thread_);
        size_ = std::move(other.size_);
    }
    return *this;
}

classPictureAhead::~classPictureAhead() {
    Drop();
}

void classPictureAhead::Drop() {
    if (file_.valid()) {
        file_.wait();
        file_ = {};
        g_underWay.fetch_sub(1, std::memory_order_relaxed);
    }
    if (thread_.valid()) thread_.wait();
    thread_ = {};
    size_.reset();
}

bool classPictureAhead::Start(const std::string& name, const classScriptOrigin& origin) {
    if (file_.valid() || g_underWay.load(std::memory_order_relaxed) >= kMostPicturesAhead) return false;
    // The picture is handed over before the render thread is woken for it,
    // so the frame that wakes finds it done; the thread is joined apart.
    auto picture = std::make_shared<std::promise<classPictureFile>>();
    std::future<classPictureFile> file = picture->get_future();
    auto size = std::make_shared<classPictureSize>();
    try {
        thread_ = std::async(std::launch::async, [picture, size, name, origin] {
            {
                const classScopedScriptOrigin asked(origin);
                picture->set_value(ReadPictureFile(name, size.get()));
            }
            WakeAFrameThatWaits();
        });
    } catch (const std::system_error&) {
        return false;  // no thread to be had: the draw decodes it itself
    }
    file_ = std::move(file);
    size_ = std::move(size);
    g_underWay.fetch_add(1, std::memory_order_relaxed);
    return true;
}

bool classPictureAhead::StillDecoding() const {
    return file_.valid() && file_.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
}

bool classPictureAhead::SizeKnown(int32* width, int32* height) const {
    if (size_ == nullptr) return false;
    const int32 w = size_->width.load(std::memory_order_acquire);
    if (w <= 0) return false;
    *width = w;
    *height = size_->height.load(std::memory_order_relaxed);
    return true;
}

void WakeTheFrameWhenDecoded() {
    g_frameWaits.store(true, std::memory_order_release);
}

bool classPictureAhead::Take(classPictureFile& file) {
    if (!file_.valid()) return false;
    file = file_.get();
    g_underWay.fetch_sub(1, std::memory_order_relaxed);
    return true;
}
