#include "presentation/text_layout.h"

#include <atomic>
#include <cmath>
#include <limits>

#include "foundation/application.h"
#include "foundation/key_wait_lock.h"
#include "foundation/number_text.h"
#include "foundation/report_once.h"
#include "foundation/text_encoding.h"
#include "presentation/glyph_set.h"
#include "presentation/graphic_object.h"
#include "presentation/scene_services.h"
#include "presentation/truncate.h"

namespace {

classTextLayoutSource g_defaultSource;
std::atomic<classTextLayoutSource*> g_source{nullptr};  // atomic: installed before the render thread starts

// In the order they have always been listed; U+3001 stands there twice.
constexpr std::string_view kLineStartProhibited[] = {
    "\xE3\x80\x8D", ",", ")", "]", "\xEF\xBD\x9D", "\xE3\x80\x81", "\xE3\x80\x95", "\xE3\x80\x89",
    "\xE3\x80\x8B", "\xE3\x80\x8F", "\xE3\x80\x91", "\xE3\x80\x99", "\xE3\x80\x97", "\xE3\x80\x9F",
    "\xE2\x80\x99", "\xE2\x80\x9D", "\xEF\xBD\xA0", "\xC2\xBB", "\xE3\x80\x82", "\xE3\x80\x81",
    "\xEF\xBC\x9F",
};

constexpr std::string_view kOpeningBracket = "\xE3\x80\x8C";  // 「
constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";

// The length of the character at `pos`: 0 for a byte that starts none, and
// for a sequence the text cuts short, so that the walk steps over one byte
// instead of reading past the end.
std::size_t CharacterLength(std::string_view text, std::size_t pos) {
    if (pos >= text.size()) return 0;
    const std::size_t length = static_cast<std::size_t>(Utf8SequenceLength(static_cast<u8>(text[pos])));
    if (length == 0 || length > text.size() - pos) return 0;
    return length;
}

std::size_t CountCharacters(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = CharacterLength(text, pos);
        pos += length == 0 ? 1 : length;
        ++count;
    }
    return count;
}

bool FontExists(int64 number) {
    classCriticalSectionLock hold(g_glyphSets.lock);
    return g_glyphSets.Find(number) != nullptr;
}

int64 LineFontHeight(classGraphicObject& object) {
    classSceneServices& services = GetSceneServices();
    const int64 font = object.texture != nullptr ? services.TextureParamOf(object.texture) : 0;
    const int64 height = services.FontHeight(font);
    return height == std::numeric_limits<int64>::min() ? 0 : (height < 0 ? -height : height);
}

void BoxOf(classGraphicObject& object, int64* width, int64* height) {
    *width = 0;
    *height = 0;
    if (object.texture != nullptr) GetTextLayoutSource().BoxSize(object.texture, width, height);
}

// A per-character child with the text texture of (character, font); null
// when the font has no glyph set, so the character is left out.
classGraphicObject* NewCharacter(classGraphicObject& object, std::string_view character, int64 font, int64 colour,
                                 int64* advanceWidth, int64* advanceHeight) {
    *advanceWidth = 0;
    *advanceHeight = 0;
    if (!FontExists(font)) {
        ReportOnce("the font number " + std::to_string(font) + " has no font; text in it is not drawn");
        return nullptr;
    }
    const classKey64 key(object.NextCharacterKey());
    classGraphicObject& child = object.characters.try_emplace(key, &object, key).first->second;
    child.SetTextTexture(std::string(character), font, colour);
    if (child.texture != nullptr) {
        float width = 0.f, height = 0.f;
        GetTextLayoutSource().CharacterSize(child.texture, &width, &height);
        *advanceWidth = TruncToI64(static_cast<double>(width));
        *advanceHeight = TruncToI64(static_cast<double>(height));
    }
    return &child;
}

// The hold and fade of one character. A character placed in a frame whose
// clock has not moved would otherwise show its end state (fully visible) for
// that one frame before its wait begins; so the first cycle is begun here,
// exactly as the first update would begin it.
void SetAppearance(classGraphicObject& child, const classTextRequest& request, int64 startDelay, bool ruby,
                   int64 textTime) {
    child.GetOrCreateSlot(classKey64(kTextSlotHold))->Transmittance = 1.0f;
    classGraphicSlot& fade = *child.GetOrCreateSlot(classKey64(kTextSlotFade));
    fade.Transmittance = -1.0f;
    fade.StartDelay = startDelay;
    fade.Loop = 1;
    fade.Time = request.fadeMode == 1 ? request.fadeTime : 0;
    if (request.repeat != 0) {
        fade.Loop = -1;
        if (request.fadeMode == 1) {
            if (ruby) fade.StartDelay = 0;
            fade.Delay = textTime;
            fade.AfterDelay = request.repeatPeriod - textTime;
        } else {
            fade.AfterDelay = request.repeatPeriod;
        }
    }
    const __int128 first = static_cast<__int128>(fade.StartDelay) + fade.Time + fade.AfterDelay;
    if (first > 0) {
        fade.remaining = first > INT64_MAX ? INT64_MAX : static_cast<int64>(first);
        fade.StartDelay = -1;
        if (fade.Loop > 0) --fade.Loop;
    }
}

// The tag from `pos` to its closing ")", CR or LF, inclusive, and its content
// after `prefix` without its trailing ")"s. False when it never closes.
bool ReadTag(std::string_view text, std::size_t pos, std::string_view prefix, std::size_t* end,
             std::string_view* content) {
    const std::size_t close = text.find_first_of(")\r\n", pos);
    if (close == std::string_view::npos) return false;
    *end = close + 1;
    std::string_view inner = text.substr(pos, *end - pos);
    inner.remove_prefix(prefix.size() <= inner.size() ? prefix.size() : inner.size());
    while (!inner.empty() && inner.back() == ')') inner.remove_suffix(1);
    *content = inner;
    return true;
}

int64 TagNumber(std::string_view content) {
    return StringToInt64(std::string(content));
}

bool StartsWith(std::string_view text, std::size_t pos, std::string_view prefix) {
    return text.substr(pos, prefix.size()) == prefix;
}

void LayOutRuby(classGraphicObject& object, std::string_view content, const classTextRequest& request) {
    const std::size_t comma = content.find(',');
    const std::string_view base = comma == std::string_view::npos ? content : content.substr(0, comma);
    const std::string_view ruby = comma == std::string_view::npos ? std::string_view() : content.substr(comma + 1);
    if (!base.empty()) {
        int64 boxWidth = 0, boxHeight = 0;
        BoxOf(object, &boxWidth, &boxHeight);
        const double estimate = static_cast<double>(LineFontHeight(object)) * static_cast<double>(CountCharacters(base));
        if (static_cast<double>(boxWidth) < static_cast<double>(object.textCursor.x) + estimate) object.TextNewLine();
    }
    const double start = object.textCursor.x;
    for (std::size_t pos = 0; pos < base.size();) {
        const std::size_t length = CharacterLength(base, pos);
        if (length == 0) {
            ++pos;
            continue;
        }
        PlaceTextCharacter(object, base.substr(pos, length), request, std::string_view());
        pos += length;
    }
    if (!ruby.empty()) PlaceRuby(object, ruby, request, -((static_cast<double>(object.textCursor.x) - start) / 2.0));
}

}  // namespace

void classTextLayoutSource::BoxSize(classSharedResource*, int64* width, int64* height) {
    *width = 0;
    *height = 0;
}

void classTextLayoutSource::CharacterSize(classSharedResource* character, float* advanceWidth, float* advanceHeight) {
    *advanceWidth = 0.f;
    *advanceHeight = 0.f;
    classSceneServices& services = GetSceneServices();
    const std::string name = services.TextureNameOf(character);
    const std::size_t length = CharacterLength(name, 0);
    if (length == 0) return;
    const u32 code = Utf8DecodeAt(name, 0);
    classCriticalSectionLock hold(g_glyphSets.lock);
    const classGlyphSet* set = g_glyphSets.Find(services.TextureParamOf(character));
    if (set == nullptr || set->font == 0) return;
    int width = 0, height = 0;
    if (!platform::GetFontService().MeasureCharacter(set->font, code, &width, &height)) return;
    *advanceWidth = static_cast<float>(width);
    *advanceHeight = static_cast<float>(height);
}

classTextLayoutSource& GetTextLayoutSource() {
    classTextLayoutSource* source = g_source.load(std::memory_order_acquire);
    return source != nullptr ? *source : g_defaultSource;
}

classTextLayoutSource* SetTextLayoutSource(classTextLayoutSource* source) {
    return g_source.exchange(source, std::memory_order_acq_rel);
}

bool IsLineStartProhibited(std::string_view character) {
    for (std::string_view prohibited : kLineStartProhibited) {
        if (character == prohibited) return true;
    }
    return false;
}

bool PlaceTextCharacter(classGraphicObject& object, std::string_view character, const classTextRequest& request,
                        std::string_view next) {
    int64 boxWidth = 0, boxHeight = 0;
    BoxOf(object, &boxWidth, &boxHeight);
    const int64 font = object.fontOverride.IsSet() ? object.fontOverride.Get() : request.fontNumber;
    const int64 colour = object.colourOverride.IsSet() ? object.colourOverride.Get() : request.colour;
    int64 advW = 0, advH = 0;
    classGraphicObject* child = NewCharacter(object, character, font, colour, &advW, &advH);
    if (child == nullptr) return true;

    classGraphicSlot& position = *child->GetOrCreateSlot(classKey64(kTextSlotPosition));
    position.Position.x = static_cast<float>(static_cast<double>(-(boxWidth / 2) + advW / 2) + object.textCursor.x);
    position.Position.y =
        static_cast<float>(static_cast<double>((boxHeight / 2 - 20) + advH / 2) + object.textCursor.y);

    if (request.speed != 0) {
        SetAppearance(*child, request, object.textTime, false, object.textTime);
        // A speed from a DrawSpeed far beyond any clock holds the later
        // characters back for good; wrapping would bring them out early.
        if (__builtin_add_overflow(object.textTime, request.speed, &object.textTime)) {
            object.textTime = request.speed > 0 ? std::numeric_limits<int64>::max() : std::numeric_limits<int64>::min();
        }
    }
    ++object.characterCount;
    object.textCursor.x = static_cast<float>(static_cast<double>(object.textCursor.x) + static_cast<double>(advW) - 0.5);
    if (static_cast<double>(object.textCursor.x) > static_cast<double>(boxWidth) && !IsLineStartProhibited(next)) {
        object.TextNewLine();
    }
    return true;
}

bool PlaceRuby(classGraphicObject& object, std::string_view ruby, const classTextRequest& request, double offset) {
    int64 boxWidth = 0, boxHeight = 0;
    BoxOf(object, &boxWidth, &boxHeight);
    const double n = static_cast<double>(CountCharacters(ruby) + 1);
    const int64 colour = object.colourOverride.IsSet() ? object.colourOverride.Get() : request.colour;
    int64 k = 0;
    for (std::size_t pos = 0; pos < ruby.size();) {
        const std::size_t length = CharacterLength(ruby, pos);
        if (length == 0) {
            ++pos;
            continue;
        }
        int64 advW = 0, advH = 0;
        classGraphicObject* child = NewCharacter(object, ruby.substr(pos, length), kRubyFontNumber, colour, &advW, &advH);
        pos += length;
        if (child == nullptr) continue;
        classGraphicSlot& scale = *child->GetOrCreateSlot(classKey64(kTextSlotRubyScale));
        scale.Scale.x = 0.5f;
        scale.Scale.y = 0.5f;
        const double w = static_cast<double>(advW);
        classGraphicSlot& position = *child->GetOrCreateSlot(classKey64(kTextSlotPosition));
        position.Position.x = static_cast<float>(static_cast<double>(-(boxWidth / 2) + advW / 2) +
                                                 object.textCursor.x + static_cast<double>(k) * w * 0.5 + offset -
                                                 n * w * 0.5 / 2.0);
        position.Position.y =
            static_cast<float>(static_cast<double>(boxHeight / 2 + advH / 2) + object.textCursor.y + 2.0);
        if (request.speed != 0) SetAppearance(*child, request, object.textTime, true, object.textTime);
        ++object.characterCount;
        ++k;
    }
    return true;
}

bool DrawTextStep(classGraphicObject& object) {
    if (object.textRequests.empty()) return false;
    while (!object.textRequests.empty()) {
        const classTextRequest request = std::move(object.textRequests.front());
        object.textRequests.pop_front();
        const classScopedScriptOrigin written(request.origin);
        const std::string_view text = request.text;
        std::size_t pos = 0;
        while (pos < text.size()) {
            const u8 wasLineStart = object.lineStart;
            object.lineStart = 0;
            if (object.characterCount == 0 && StartsWith(text, 0, kOpeningBracket)) object.indent = 30;
            const std::size_t length = CharacterLength(text, pos);
            if (length == 0) {
                ++pos;
                continue;
            }
            const std::string_view c = text.substr(pos, length);
            std::size_t end = 0;
            std::string_view content;
            if (wasLineStart != 0 && (c == " " || c == kIdeographicSpace)) {
                pos += length;
            } else if (StartsWith(text, pos, "\\n")) {
                object.TextNewLine();
                pos += 2;
            } else if (StartsWith(text, pos, "@f(") || StartsWith(text, pos, "@c(") ||
                       StartsWith(text, pos, "@u+(") || StartsWith(text, pos, "@r(")) {
                const std::string_view prefix = StartsWith(text, pos, "@u+(") ? "@u+(" : text.substr(pos, 3);
                if (!ReadTag(text, pos, prefix, &end, &content)) {
                    // An unclosed tag is text; only its "@" goes.
                    ++pos;
                    continue;
                }
                if (prefix == "@f(") {
                    object.fontOverride.Set(TagNumber(content));
                } else if (prefix == "@c(") {
                    object.colourOverride.Set(TagNumber(content));
                } else if (prefix == "@u+(") {
                    const int64 code = TagNumber(content);
                    const std::string character =
                        code >= 0 && code < 0x7FFFFFFF ? CodePointToUtf8(static_cast<u32>(code)) : std::string();
                    if (!character.empty()) PlaceTextCharacter(object, character, request, std::string_view());
                } else {
                    LayOutRuby(object, content, request);
                }
                pos = end;
            } else {
                const std::size_t nextLength = CharacterLength(text, pos + length);
                PlaceTextCharacter(object, c, request, text.substr(pos + length, nextLength));
                pos += length;
            }
        }
        object.text += request.text;
    }
    const int64 time = object.textTime;
    SetKeyWaitLock(time <= 0 ? 0u : (time > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<u32>(time)));
    return true;
}

bool RestartTextDrawing(classGraphicObject& object) {
    classTextRequest request;
    request.text = object.text;
    request.fontNumber = 0;
    classApplication* application = GetApplication();
    request.colour = application != nullptr ? application->textColor.load() : 0xFFFFFF;
    object.characters.clear();
    object.text.clear();
    object.textRequests.clear();
    object.characterCount = 0;
    object.textTime = 0;
    object.textCursor = D3DXVECTOR3{};
    object.indent = 0;
    object.lineStart = 1;
    object.textRequests.push_back(std::move(request));
    DrawTextStep(object);
    return true;
}
