#pragma once
// Small helpers the hand-written decoders share: little-endian reads that
// never pass the end, and channel extraction by bit mask.

#include <cstddef>

#include "foundation/types.h"

namespace platform::image_bits {

inline u16 Le16(const u8* p) {
    return static_cast<u16>(p[0] | (p[1] << 8));
}
inline u32 Le32(const u8* p) {
    return static_cast<u32>(p[0]) | (static_cast<u32>(p[1]) << 8) | (static_cast<u32>(p[2]) << 16) |
           (static_cast<u32>(p[3]) << 24);
}

// One colour channel described by a mask inside a pixel value of up to 32
// bits, widened to 8 bits by repeating its top bits (so 5-bit 31 becomes 255).
class MaskChannel {
  public:
    MaskChannel() = default;
    explicit MaskChannel(u32 mask) : mask_(mask) {
        if (mask == 0) return;
        while (((mask >> shift_) & 1u) == 0) ++shift_;
        while (shift_ + bits_ < 32 && ((mask >> (shift_ + bits_)) & 1u) != 0) ++bits_;
    }
    bool Present() const { return mask_ != 0; }
    u8 Extract(u32 value) const {
        if (mask_ == 0) return 0;
        u32 raw = (value & mask_) >> shift_;
        if (bits_ >= 8) return static_cast<u8>(raw >> (bits_ - 8));
        // Repeat the bits until eight are filled.
        u32 out = 0;
        int filled = 0;
        while (filled < 8) {
            out = (out << bits_) | raw;
            filled += bits_;
        }
        return static_cast<u8>(out >> (filled - 8));
    }

  private:
    u32 mask_ = 0;
    int shift_ = 0;
    int bits_ = 0;
};

}  // namespace platform::image_bits
