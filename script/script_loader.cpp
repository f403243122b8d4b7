#include "script/script_loader.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/archive.h"
#include "foundation/file.h"
#include "foundation/report_once.h"
#include "foundation/text_encoding.h"
#include "platform/dynlib.h"
#include "script/script_compiler.h"
#include "script/script_frame.h"

std::mutex g_preConvertLock;

namespace {

using PreConvertFunction = u8 (*)(const char* scriptName, const char* text, u32 textLength, u32 reserved,
                                  void** handle, u32* handleSize);
using PreConvertFreeFunction = void (*)(void* handle);

// The library stays loaded for the rest of the run once it is there.
// Guarded by g_preConvertLock.
platform::DynamicLibrary g_preConverter;
PreConvertFunction g_preConvert = nullptr;
PreConvertFreeFunction g_preConvertFree = nullptr;

constexpr char kPreConverterPath[] = "./Text2qvs.so";
constexpr char kImageMagic[] = "QVS002";

// A file that is there but holds nothing reads as no file at all; a writer
// who saved an empty script is told so rather than that it is missing.
bool IsEmptyFile(const std::string& name) {
    classFile file;
    u64 offset = 0;
    u64 size = 0;
    return OpenFileInPlace(name, file, &offset, &size) && size == 0;
}

}  // namespace

void PreConvertScript(const std::string& name, std::string& text) {
    std::lock_guard<std::mutex> hold(g_preConvertLock);
    if (!g_preConverter.IsOpen()) {
        if (!g_preConverter.Open(kPreConverterPath)) return;
        // A library in the game's folder runs with the player's rights; the
        // player should know it is there.
        ReportOnce(classScriptOrigin{}, "the script pre-converter \"Text2qvs.so\" in the game's folder was "
                                        "loaded: it runs native code; play only games you trust");
        g_preConvert = reinterpret_cast<PreConvertFunction>(g_preConverter.Symbol("ScriptPreConvert"));
        g_preConvertFree =
            reinterpret_cast<PreConvertFreeFunction>(g_preConverter.Symbol("ScriptPreConvertFree"));
    }
    if (g_preConvert == nullptr || text.size() > 0xFFFFFFFFu) return;
    void* handle = nullptr;
    u32 handleSize = 0;
    const u8 converted =
        g_preConvert(name.c_str(), text.c_str(), static_cast<u32>(text.size()), 0, &handle, &handleSize);
    if (handle == nullptr) return;
    if (converted == 1) {
        const char* bytes = static_cast<const char*>(handle);
        const void* nul = std::memchr(bytes, 0, handleSize);
        text.assign(bytes, nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - bytes)
                                          : handleSize);
    }
    if (g_preConvertFree != nullptr)
        g_preConvertFree(handle);
    else
        std::free(handle);
}

namespace {

// The line (from 1) of the first character beyond ASCII when the bytes are
// UTF-8 throughout, else 0: such a script was saved as UTF-8 without the mark
// that says so, and reads as CP932 mojibake.
int32 LineOfFirstUtf8Character(const std::vector<u8>& bytes) {
    int32 line = 1;
    int32 first = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const u8 lead = bytes[i];
        if (lead < 0x80) {
            if (lead == '\n') ++line;
            ++i;
            continue;
        }
        const std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
        if (length == 0 || i + length > bytes.size()) return 0;
        for (std::size_t k = 1; k < length; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) return 0;
        }
        if (first == 0) first = line;
        i += length;
    }
    return first;
}

}  // namespace

bool LoadScriptTables(const std::string& name, classScriptTables& out) {
    if (name.empty()) return false;
    std::vector<u8> bytes;
    bool tooLarge = false;
    if (!ReadWholeFile(name, bytes, true, &tooLarge)) {
        if (tooLarge) return false;
        if (const char* kind = LooseNonRegularFileKind(name))
            ReportOnce("the script " + QuotedName(name) + " is " + kind + ", not a file; it is not read");
        else
            ReportOnce("the script " + QuotedName(name) + (IsEmptyFile(name) ? " is empty" : " cannot be read"));
        return false;
    }
    if (bytes.empty()) {
        ReportOnce("the script " + QuotedName(name) + " is empty");
        return false;
    }

    if (bytes.size() >= 6 && std::memcmp(bytes.data(), kImageMagic, 6) == 0) {
        classScriptTables image;
        image.ReadImage(bytes.data(), bytes.size());
        out = std::move(image);
        return true;
    }

    if (BomLength(bytes.data(), bytes.size()) == 0) {
        if (const int32 line = LineOfFirstUtf8Character(bytes); line != 0) {
            ReportOnce(ScriptOriginOf(name, line, -1),
                       "the script has no byte-order mark, yet its text is UTF-8; it is read as CP932, as "
                       "every script without the mark is (save it as UTF-8 with a byte-order mark)");
        }
    }
    std::string text;
    TextToUtf8ByBom(text, bytes.data(), bytes.size(), TEXT_ENCODING_ANSI);
    PreConvertScript(name, text);
    if (text.empty()) {
        ReportOnce("the script " + QuotedName(name) + " is empty");
        return false;
    }

    classScriptCompiler compiler(name);
    compiler.Compile(std::move(text));
    out = compiler.TakeTables();
    return true;
}

void InstallScriptLoader() {
    SetScriptLoader(&LoadScriptTables);
}
