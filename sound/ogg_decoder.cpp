#include "sound/ogg_decoder.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

size_t OggMemoryRead(void* buffer, size_t size, size_t count, void* image) {
    auto* m = static_cast<OggMemoryImage*>(image);
    if (m == nullptr || buffer == nullptr || size == 0 || count == 0 || m->position >= m->size) return 0;
    u64 left = m->size - m->position;
    // size · count may overflow; the copy is capped by what is left anyway.
    u64 wanted = count > left / size ? left : static_cast<u64>(size) * count;
    if (wanted > left) wanted = left;
    std::memcpy(buffer, m->bytes + m->position, wanted);
    m->position += wanted;
    return static_cast<size_t>(wanted);
}

int OggMemorySeek(void* image, int64 offset, int origin) {
    auto* m = static_cast<OggMemoryImage*>(image);
    if (m == nullptr) return -1;
    int64 base = 0;
    if (origin == 1) {
        base = static_cast<int64>(m->position);
    } else if (origin == 2) {
        base = static_cast<int64>(m->size);
    } else if (origin != 0) {
        return -1;
    }
    // Images are far below 2^62, so base + offset only needs the range check.
    if (offset > 0 && base > std::numeric_limits<int64>::max() - offset) return -1;
    int64 target = base + offset;
    if (target < 0 || static_cast<u64>(target) > m->size) return -1;
    m->position = static_cast<u64>(target);
    return 0;
}

int OggMemoryClose(void*) { return 0; }

long OggMemoryTell(void* image) {
    auto* m = static_cast<OggMemoryImage*>(image);
    return m == nullptr ? -1 : static_cast<long>(m->position);
}

namespace {
const ov_callbacks g_oggMemoryCallbacks = {OggMemoryRead, OggMemorySeek, OggMemoryClose, OggMemoryTell};
}  // namespace

struct classOggDecoder::State {
    OggMemoryImage image;
    OggVorbis_File file;
    vorbis_info* info = nullptr;
};

classOggDecoder::classOggDecoder() = default;
classOggDecoder::~classOggDecoder() { Close(); }

bool classOggDecoder::Open(const u8* bytes, u64 size) {
    Close();
    if (bytes == nullptr || size == 0) return false;
    auto state = std::unique_ptr<State>(new (std::nothrow) State());
    if (!state) return false;
    state->image = OggMemoryImage{bytes, 0, size};
    if (ov_open_callbacks(&state->image, &state->file, nullptr, 0, g_oggMemoryCallbacks) != 0) return false;
    state->info = ov_info(&state->file, -1);
    if (state->info == nullptr || state->info->channels < 1 || state->info->channels > 2 || state->info->rate < 1) {
        ov_clear(&state->file);
        return false;
    }
    state_ = std::move(state);
    return true;
}

void classOggDecoder::Close() {
    if (!state_) return;
    ov_clear(&state_->file);
    state_.reset();
}

bool classOggDecoder::IsOpen() const { return state_ != nullptr; }

platform::PcmFormat classOggDecoder::Format() const {
    platform::PcmFormat f;
    if (!state_) return f;
    f.formatTag = 1;
    f.channels = static_cast<u16>(state_->info->channels);
    f.samplesPerSec = static_cast<u32>(state_->info->rate);
    f.blockAlign = static_cast<u16>(f.channels * 2);
    f.avgBytesPerSec = f.samplesPerSec * f.blockAlign;
    f.bitsPerSample = 16;
    return f;
}

u32 classOggDecoder::TotalPcmBytes() const {
    if (!state_) return 0;
    double seconds = ov_time_total(&state_->file, -1);
    if (!(seconds > 0)) return 0;
    double samples = std::trunc(seconds * state_->info->channels * static_cast<double>(state_->info->rate));
    double bytes = samples * 2;
    if (bytes >= platform::kMaxBufferBytes) return 0;
    u32 total = static_cast<u32>(bytes);
    return total - total % (static_cast<u32>(state_->info->channels) * 2);
}

u32 classOggDecoder::Read(u8* destination, u32 count) {
    if (!state_ || destination == nullptr) return 0;
    const u32 frame = static_cast<u32>(state_->info->channels) * 2;
    count -= count % frame;
    u32 done = 0;
    int holes = 0;
    while (done < count) {
        int section = 0;
        long got = ov_read(&state_->file, reinterpret_cast<char*>(destination + done),
                           static_cast<int>(std::min<u32>(count - done, 1u << 20)), 0, 2, 1, &section);
        if (got == OV_HOLE && ++holes < 64) continue;
        if (got <= 0) break;
        done += static_cast<u32>(got);
    }
    return done;
}

void classOggDecoder::Rewind() {
    if (state_) ov_raw_seek(&state_->file, 0);
}
