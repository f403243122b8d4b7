#include "foundation/text_encoding.h"

#include "platform/codepage.h"

namespace {

constexpr char16_t kReplacement = u'\uFFFD';

void AppendUtf8(std::string& out, u32 cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16AsUtf8(std::string& out, const char16_t* units, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        const u32 unit = units[i];
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < length && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00u));
            ++i;
        } else if (unit >= 0xD800 && unit < 0xE000) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, unit);
        }
    }
}

bool IsContinuation(u8 b) {
    return (b & 0xC0) == 0x80;
}

}  // namespace

std::string WideToUtf8(std::u16string_view wide) {
    const std::size_t end = wide.find(u'\0');
    std::string out;
    AppendUtf16AsUtf8(out, wide.data(), end == std::u16string_view::npos ? wide.size() : end);
    return out;
}

std::u16string Utf8ToWide(std::string_view utf8) {
    const std::size_t zero = utf8.find('\0');
    if (zero != std::string_view::npos) utf8 = utf8.substr(0, zero);
    const auto* s = reinterpret_cast<const u8*>(utf8.data());
    const std::size_t n = utf8.size();
    std::u16string out;
    out.reserve(n);
    std::size_t i = 0;
    while (i < n) {
        const u8 lead = s[i];
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        // Well-formed sequences after RFC 3629: the allowed range of the second
        // byte depends on the lead, which rules out overlongs, surrogates and
        // values past U+10FFFF. A bad sequence is replaced as far as it went
        // (its maximal valid prefix), so one U+FFFD stands for it.
        std::size_t need;
        u8 lo = 0x80, hi = 0xBF;
        u32 cp;
        if (lead >= 0xC2 && lead <= 0xDF) {
            need = 1;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            need = 2;
            cp = lead & 0x0F;
            if (lead == 0xE0) lo = 0xA0;
            if (lead == 0xED) hi = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            need = 3;
            cp = lead & 0x07;
            if (lead == 0xF0) lo = 0x90;
            if (lead == 0xF4) hi = 0x8F;
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool ok = true;
        for (std::size_t k = 0; k < need; ++k, ++j) {
            const u8 lower = (k == 0) ? lo : 0x80;
            const u8 upper = (k == 0) ? hi : 0xBF;
            if (j >= n || s[j] < lower || s[j] > upper) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (s[j] & 0x3F);
        }
        if (!ok) {
            out.push_back(kReplacement);
            i = j;  // j > i: at least the lead byte is consumed
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i = j;
    }
    return out;
}

bool Utf16BufferToUtf8(std::string& out, const char16_t* buffer, std::size_t length) {
    out.clear();
    if (buffer == nullptr) return false;
    if (length >= 3 && (buffer[0] == 0xFEFF || buffer[0] == 0xFFFE)) {
        ++buffer;
        --length;
    }
    AppendUtf16AsUtf8(out, buffer, length);
    return !out.empty();
}

bool CodePageBufferToWide(std::u16string& out, const u8* buffer, std::size_t length, u32 codePage) {
    out.clear();
    if (buffer == nullptr) return false;
    const std::size_t skip = BomLength(buffer, length);
    buffer += skip;
    length -= skip;
    if (codePage == CP_UTF8) {
        // Not Utf8ToWide: zeros inside a counted buffer are data here.
        std::string_view rest(reinterpret_cast<const char*>(buffer), length);
        while (!rest.empty()) {
            const std::size_t zero = rest.find('\0');
            out += Utf8ToWide(rest.substr(0, zero));
            if (zero == std::string_view::npos) break;
            out.push_back(u'\0');
            rest.remove_prefix(zero + 1);
        }
    } else if (!platform::DecodeCodePage(codePage, buffer, length, out)) {
        out.clear();
    }
    return !out.empty();
}

bool WideToCodePage(std::string& out, std::u16string_view wide, u32 codePage) {
    out.clear();
    if (codePage == CP_UTF8) {
        AppendUtf16AsUtf8(out, wide.data(), wide.size());
    } else if (!platform::EncodeCodePage(codePage, wide, out)) {
        out.clear();
    }
    return !out.empty();
}

std::string CodePointToUtf8(u32 cp) {
    std::string out;
    int trailing;
    u8 lead;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
        return out;
    } else if (cp < 0x800) {
        trailing = 1;
        lead = 0xC0;
    } else if (cp < 0x10000) {
        trailing = 2;
        lead = 0xE0;
    } else if (cp < 0x200000) {
        trailing = 3;
        lead = 0xF0;
    } else if (cp < 0x4000000) {
        trailing = 4;
        lead = 0xF8;
    } else if (cp < 0x7FFFFFFF) {
        trailing = 5;
        lead = 0xFC;
    } else {
        return out;
    }
    out.push_back(static_cast<char>(lead | (cp >> (6 * trailing))));
    for (int k = trailing - 1; k >= 0; --k) out.push_back(static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F)));
    return out;
}

int DetectTextEncoding(const u8* b, std::size_t size) {
    if (b == nullptr) return TEXT_ENCODING_NONE;
    if (size > 2 && b[0] == 0xFF && b[1] == 0xFE) return TEXT_ENCODING_UTF16LE;
    if (size > 2 && b[0] == 0xFE && b[1] == 0xFF) return TEXT_ENCODING_UTF16BE;
    if (size > 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return TEXT_ENCODING_UTF8;
    return TEXT_ENCODING_NONE;
}

std::size_t BomLength(const u8* b, std::size_t size) {
    if (b == nullptr || size < 3) return 0;
    if ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF)) return 2;
    if (b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return 3;
    return 0;
}

bool TextToUtf8ByBom(std::string& out, const u8* buffer, std::size_t size, int defaultCode) {
    if (buffer == nullptr) return false;
    int code = DetectTextEncoding(buffer, size);
    if (code == TEXT_ENCODING_NONE) code = defaultCode;
    switch (code) {
        case TEXT_ENCODING_ANSI: {
            std::u16string wide;
            if (!CodePageBufferToWide(wide, buffer, size, CP_ACP)) return false;
            return Utf16BufferToUtf8(out, wide.data(), wide.size());
        }
        case TEXT_ENCODING_UTF16LE:
        case TEXT_ENCODING_UTF16BE: {
            // Read unit by unit: the buffer need not be aligned for char16_t.
            // Big-endian text is converted as well rather than left empty,
            // which would make a script saved that way run as nothing.
            const std::size_t units = size / 2;
            std::u16string wide(units, u'\0');
            const bool little = code == TEXT_ENCODING_UTF16LE;
            for (std::size_t i = 0; i < units; ++i) {
                const u8 a = buffer[2 * i], b = buffer[2 * i + 1];
                wide[i] = static_cast<char16_t>(little ? (a | (b << 8)) : ((a << 8) | b));
            }
            return Utf16BufferToUtf8(out, wide.data(), wide.size());
        }
        case TEXT_ENCODING_UTF8: {
            std::size_t end = 0;
            while (end < size && buffer[end] != 0) ++end;
            out.assign(reinterpret_cast<const char*>(buffer), end);
            return false;
        }
        default:
            return false;
    }
}

std::size_t Utf8NextPosition(std::string_view text, std::size_t pos) {
    if (pos >= text.size()) return text.size();
    const int length = Utf8SequenceLength(static_cast<u8>(text[pos]));
    std::size_t next = pos + 1;
    // Step over as many of the announced bytes as are really there; a zero
    // byte or the end stops the step so the terminator is never passed.
    for (int k = 1; k < length && next < text.size() && text[next] != '\0'; ++k) ++next;
    return next;
}

std::size_t Utf8CharCount(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size() && text[pos] != '\0'; pos = Utf8NextPosition(text, pos))
        ++count;
    return count;
}

u32 Utf8DecodeAt(std::string_view text, std::size_t pos) {
    if (pos >= text.size()) return 0;
    const u8 lead = static_cast<u8>(text[pos]);
    const int length = Utf8SequenceLength(lead);
    if (length <= 1) return lead;
    u32 cp = lead & (0x7Fu >> length);
    const std::size_t end = Utf8NextPosition(text, pos);
    for (std::size_t i = pos + 1; i < end; ++i) {
        const u8 b = static_cast<u8>(text[i]);
        if (!IsContinuation(b)) break;
        cp = (cp << 6) | (b & 0x3F);
    }
    return cp;
}
