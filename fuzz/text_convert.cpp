// Feeds arbitrary bytes to every text conversion: the byte-order dispatch,
// CP932 and UTF-8 decoding, the UTF-8 walkers and the number readers. The
// first byte picks the default code so all branches are reached.
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/number_text.h"
#include "foundation/text_encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int defaultCode = data[0] % 6;
    const u8* body = data + 1;
    const std::size_t n = size - 1;

    std::string utf8;
    TextToUtf8ByBom(utf8, body, n, defaultCode);

    std::u16string wide;
    CodePageBufferToWide(wide, body, n, CP_ACP);
    std::string back;
    WideToCodePage(back, wide, CP_ACP);
    Utf16BufferToUtf8(utf8, wide.data(), wide.size());

    const std::string_view text(reinterpret_cast<const char*>(body), n);
    const std::u16string fromUtf8 = Utf8ToWide(text);
    // Valid UTF-16 from the decoder must survive the way back unchanged.
    if (Utf8ToWide(WideToUtf8(fromUtf8)) != fromUtf8.substr(0, fromUtf8.find(u'\0'))) __builtin_trap();

    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); pos = Utf8NextPosition(text, pos)) {
        Utf8DecodeAt(text, pos);
        if (++count > text.size()) __builtin_trap();  // every step must advance
    }
    Utf8CharCount(text);

    const std::string terminated(text);
    StringToInt64(terminated.c_str());
    StringToDouble(terminated.c_str());
    GetSeparatedField(terminated.c_str(), &utf8, '\t', data[0] % 4);
    EndsWithNoCase(text, ".avi");
    return 0;
}
