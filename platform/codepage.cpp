#include "platform/codepage.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace platform {
namespace {

// Written by a setting at start-up, read by every text conversion.
std::atomic<u32> g_ansiCodePage{kDefaultAnsiCodePage};

std::string IconvName(u32 codePage) {
    if (codePage == kAnsiCodePage) codePage = GetAnsiCodePage();
    if (codePage == kUtf8CodePage) return "UTF-8";
    char name[16];
    std::snprintf(name, sizeof name, "CP%u", static_cast<unsigned>(codePage));
    return name;
}

// One conversion descriptor for the length of one call: iconv state is not
// shareable between threads, and the calls are rare enough not to cache it.
class IconvHandle {
  public:
    IconvHandle(const std::string& to, const std::string& from) : cd_(iconv_open(to.c_str(), from.c_str())) {}
    ~IconvHandle() {
        if (valid()) iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }
    void reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

  private:
    iconv_t cd_;
};

constexpr std::size_t kChunk = 4096;

}  // namespace

u32 GetAnsiCodePage() {
    return g_ansiCodePage.load(std::memory_order_relaxed);
}
void SetAnsiCodePage(u32 codePage) {
    g_ansiCodePage.store(codePage == kAnsiCodePage ? kDefaultAnsiCodePage : codePage,
                         std::memory_order_relaxed);
}

bool DecodeCodePage(u32 codePage, const u8* data, std::size_t size, std::u16string& out) {
    out.clear();
    IconvHandle cd("UTF-16LE", IconvName(codePage));
    if (!cd.valid()) return false;
    if (size == 0) return true;

    char* in = const_cast<char*>(reinterpret_cast<const char*>(data));
    std::size_t inLeft = size;
    char buffer[kChunk];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t r = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
        const int err = (r == static_cast<std::size_t>(-1)) ? errno : 0;
        const std::size_t produced = sizeof buffer - outLeft;
        for (std::size_t i = 0; i + 1 < produced; i += 2) {
            out.push_back(
                static_cast<char16_t>(static_cast<u8>(buffer[i]) | (static_cast<u8>(buffer[i + 1]) << 8)));
        }
        if (err == E2BIG) continue;
        if (err == EILSEQ || err == EINVAL) {
            // A bad or cut-off sequence costs one byte; the rest still converts.
            out.push_back(u'\uFFFD');
            ++in;
            --inLeft;
            cd.reset();
            continue;
        }
        if (err != 0) break;
    }
    return true;
}

bool EncodeCodePage(u32 codePage, std::u16string_view text, std::string& out) {
    out.clear();
    IconvHandle cd(IconvName(codePage), "UTF-16LE");
    if (!cd.valid()) return false;

    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    char* in = bytes.data();
    std::size_t inLeft = bytes.size();
    char buffer[kChunk];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t r = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
        const int err = (r == static_cast<std::size_t>(-1)) ? errno : 0;
        out.append(buffer, sizeof buffer - outLeft);
        if (err == E2BIG) continue;
        if (err == EILSEQ || err == EINVAL) {
            // Skip the whole character: a valid surrogate pair is two units.
            std::size_t skip = 2;
            if (inLeft >= 4) {
                const unsigned first = static_cast<u8>(in[0]) | (static_cast<u8>(in[1]) << 8);
                const unsigned second = static_cast<u8>(in[2]) | (static_cast<u8>(in[3]) << 8);
                if (first >= 0xD800 && first < 0xDC00 && second >= 0xDC00 && second < 0xE000) skip = 4;
            }
            if (skip > inLeft) skip = inLeft;
            out.push_back('?');
            in += skip;
            inLeft -= skip;
            cd.reset();
            continue;
        }
        if (err != 0) break;
    }
    // Flush any shift state the target encoding keeps.
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, sizeof buffer - outLeft);
    return true;
}

}  // namespace platform
