#include "presentation/glyph_set.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "foundation/archive.h"
#include "foundation/report_once.h"
#include "foundation/text_encoding.h"
#include "presentation/character_list.h"
#include "presentation/scene_services.h"

classGlyphSetTable g_glyphSets;

namespace {

std::atomic<GlyphImageBinder> g_glyphImageBinder{nullptr};  // atomic: set before threads start

// A character list read on a script thread, waiting for the render thread.
struct PendingCharacterSet {
    int64 font = 0;
    int32 kind = 0;
    classOptionalValue<int64> defaultWidth;
    classOptionalValue<int64> defaultHeight;
    std::vector<classCharacterListEntry> entries;
    classScriptOrigin origin;
};
std::mutex g_pendingLock;  // guards g_pending only; taken alone
std::vector<PendingCharacterSet> g_pending;

// The old API's own height for a font that asks for none.
constexpr int kDefaultEmHeight = 16;

int32 AbsoluteLow32(int64 value) {
    // |INT64_MIN| has no 64-bit value; its low 32 bits are 0 either way.
    const u64 magnitude = value < 0 ? (0 - static_cast<u64>(value)) : static_cast<u64>(value);
    return static_cast<int32>(static_cast<u32>(magnitude));
}

int64 Magnitude(int32 value) {
    return value < 0 ? -static_cast<int64>(value) : static_cast<int64>(value);
}

void ReleaseGlyphs(classGlyphSet& set) {
    for (auto& [code, entry] : set.glyphs) {
        if (entry.resource != nullptr) GetSceneServices().ReleaseTexture(entry.resource);
        entry.resource = nullptr;
    }
    set.glyphs.clear();
}

}  // namespace

classFontDesc DefaultFontDesc() {
    classFontDesc desc;
    desc.size.Set(0);
    desc.width = 0;
    desc.quality.Set(1);
    return desc;
}

classGlyphSet::classGlyphSet(classKey64 setNumber) : number(setNumber) {}

// The fonts are not closed here: the table outlives the font service at the
// end of the process, and the service frees every face it holds when it goes.
// Clear closes them while the service is still there.
classGlyphSet::~classGlyphSet() = default;

platform::FontHandle classGlyphSet::RenderFont(int factor) {
    if (renderFont != 0 && renderFactor == factor) return renderFont;
    platform::FontService& fonts = platform::GetFontService();
    if (renderFont != 0) fonts.CloseFont(renderFont);
    int64 em = Magnitude(logFont.lfHeight) * factor;
    if (em == 0) em = static_cast<int64>(kDefaultEmHeight) * factor;
    if (em > 4096) em = 4096;
    int64 width = Magnitude(logFont.lfWidth) * factor;
    if (width > 16384) width = 16384;
    renderFont = fonts.OpenFont(WideToUtf8(std::u16string_view(logFont.lfFaceName)), static_cast<int>(em),
                                static_cast<int>(width));
    renderFactor = factor;
    return renderFont;
}

bool classGlyphSet::ComputeMetrics(const classGlyphSet* previous) {
    if (previous != nullptr) effective = previous->effective;
    if (given.size.IsSet()) {
        effective.size = given.size;
        effective.width = given.width;
    }
    if (given.quality.IsSet()) effective.quality = given.quality;
    if (given.option1.IsSet()) effective.option1 = given.option1;
    if (given.option2.IsSet()) effective.option2 = given.option2;
    if (given.value1.IsSet()) effective.value1 = given.value1;
    if (given.value2.IsSet()) effective.value2 = given.value2;
    if (!given.faceName.empty()) effective.faceName = given.faceName;

    LOGFONTW wanted;
    if (effective.size.IsSet()) {
        wanted.lfHeight = -AbsoluteLow32(effective.size.Get());
        wanted.lfWidth = static_cast<int32>(static_cast<u32>(static_cast<u64>(effective.width)));
    }
    if (!effective.faceName.empty()) {
        const std::u16string wide = Utf8ToWide(effective.faceName);
        const std::size_t count = wide.size() < 31 ? wide.size() : 31;
        for (std::size_t i = 0; i < count; ++i) wanted.lfFaceName[i] = wide[i];
        wanted.lfFaceName[count] = 0;
    }
    // Defining a later font rebuilds every set; one whose description came
    // out the same keeps the font it has, which opening again would only
    // give once more.
    if (font != 0 && std::memcmp(&wanted, &logFont, sizeof wanted) == 0) return true;
    logFont = wanted;

    platform::FontService& fonts = platform::GetFontService();
    if (font != 0) fonts.CloseFont(font);
    font = 0;
    if (renderFont != 0) fonts.CloseFont(renderFont);
    renderFont = 0;
    renderFactor = 0;
    textMetric = TEXTMETRICW{};
    int64 em = Magnitude(logFont.lfHeight);
    if (em == 0) em = kDefaultEmHeight;
    if (em > 4096) em = 4096;
    int64 width = Magnitude(logFont.lfWidth);
    if (width > 16384) width = 16384;
    font = fonts.OpenFont(WideToUtf8(std::u16string_view(logFont.lfFaceName)), static_cast<int>(em),
                          static_cast<int>(width));
    platform::FontMetrics metrics;
    if (font != 0 && fonts.GetMetrics(font, &metrics)) {
        textMetric.tmHeight = metrics.height;
        textMetric.tmAscent = metrics.ascent;
        textMetric.tmDescent = metrics.descent;
        textMetric.tmAveCharWidth = metrics.aveCharWidth;
    }
    return true;
}

bool classGlyphSet::LoadCharacterList(int32 listKind, const std::string& file) {
    kind = listKind;
    std::vector<u8> bytes;
    if (!ReadWholeFile(file, bytes, false)) return true;
    ApplyCharacterList(listKind, ParseCharacterList(bytes.data(), bytes.size()));
    return true;
}

void classGlyphSet::ApplyCharacterList(int32 listKind, const std::vector<classCharacterListEntry>& entries) {
    kind = listKind;
    for (const classCharacterListEntry& entry : entries) AddGlyphImage(entry.code, entry.file);
}

classGlyphCacheEntry* classGlyphSet::AddGlyphImage(u32 code, const std::string& file) {
    classGlyphCacheEntry& entry = glyphs[code];
    entry.code = code;
    const std::string name = CodePointToUtf8(code);
    // A code with no UTF-8 form would share one nameless resource with every other such code.
    if (name.empty()) return &entry;
    classSceneServices& services = GetSceneServices();
    classSharedResource* resource = services.AcquireTexture(TextureKind_Text, name, number.Value(), 0);
    // Loading a list again takes the resource once more; the entry keeps one reference only.
    if (entry.resource != nullptr) services.ReleaseTexture(entry.resource);
    entry.resource = resource;
    GlyphImageBinder binder = g_glyphImageBinder.load(std::memory_order_acquire);
    if (resource != nullptr && binder != nullptr) binder(resource, file);
    return &entry;
}

void classGlyphSetTable::RebuildAll() {
    classCriticalSectionLock hold(lock);
    classGlyphSet base(classKey64(0));
    base.effective = DefaultFontDesc();
    const classGlyphSet* previous = &base;
    for (auto& [number, set] : sets) {
        set.ComputeMetrics(previous);
        previous = &set;
    }
}

classGlyphSet* classGlyphSetTable::Find(int64 number) {
    auto found = sets.find(classKey64(number));
    return found == sets.end() ? nullptr : &found->second;
}

classGlyphSet& classGlyphSetTable::Define(int64 number) {
    auto found = sets.find(classKey64(number));
    if (found != sets.end()) return found->second;
    return sets.try_emplace(classKey64(number), classKey64(number)).first->second;
}

void classGlyphSetTable::Clear() {
    classCriticalSectionLock hold(lock);
    platform::FontService& fonts = platform::GetFontService();
    for (auto& [number, set] : sets) {
        ReleaseGlyphs(set);
        if (set.font != 0) fonts.CloseFont(set.font);
        if (set.renderFont != 0) fonts.CloseFont(set.renderFont);
    }
    sets.clear();
}

int64 GlyphSetLineHeight(int64 number) {
    classCriticalSectionLock hold(g_glyphSets.lock);
    const classGlyphSet* set = g_glyphSets.Find(number);
    return set == nullptr ? 0 : Magnitude(set->logFont.lfHeight);
}

void DefineFont(int64 number, const char* faceUtf8, int64 size, int64 width) {
    {
        classCriticalSectionLock hold(g_glyphSets.lock);
        classGlyphSet& set = g_glyphSets.Define(number);
        if (faceUtf8 != nullptr) set.given.faceName = faceUtf8;
        set.given.size.Set(size);
        set.given.width = width;
    }
    g_glyphSets.RebuildAll();
}

bool LoadCharacterSet(int64 fontNumber, int32 listKind, const std::string& file,
                      classOptionalValue<int64> defaultWidth, classOptionalValue<int64> defaultHeight) {
    {
        classCriticalSectionLock hold(g_glyphSets.lock);
        if (g_glyphSets.Find(fontNumber) == nullptr) {
            ReportOnce("the font number " + std::to_string(fontNumber) + " has no font; the character list " +
                       QuotedName(file) + " is not loaded");
            return false;
        }
    }
    // The file is read and parsed here, on the script's own thread; the set
    // and the textures change on the render thread, which alone may touch
    // the device and walks the texture set every frame.
    PendingCharacterSet pending;
    pending.font = fontNumber;
    pending.kind = listKind;
    pending.defaultWidth = defaultWidth;
    pending.defaultHeight = defaultHeight;
    std::vector<u8> bytes;
    bool tooLarge = false;
    if (ReadWholeFile(file, bytes, false, &tooLarge)) {
        pending.entries = ParseCharacterList(bytes.data(), bytes.size());
    } else if (!file.empty() && !tooLarge) {
        ReportOnce("the character list " + QuotedName(file) + " is missing or cannot be read; font " +
                   std::to_string(fontNumber) + " draws its characters as before");
    }
    // A glyph picture missing later is said with the statement that listed it.
    pending.origin = CurrentScriptOrigin();
    std::lock_guard<std::mutex> hold(g_pendingLock);
    g_pending.push_back(std::move(pending));
    return true;
}

void ApplyPendingCharacterSets() {
    std::vector<PendingCharacterSet> work;
    {
        std::lock_guard<std::mutex> hold(g_pendingLock);
        work.swap(g_pending);
    }
    for (const PendingCharacterSet& pending : work) {
        classCriticalSectionLock hold(g_glyphSets.lock);
        classGlyphSet* set = g_glyphSets.Find(pending.font);
        if (set == nullptr) continue;
        const classScopedScriptOrigin listed(pending.origin);
        if (pending.defaultWidth.IsSet()) set->defaultWidth = pending.defaultWidth.Get();
        if (pending.defaultHeight.IsSet()) set->defaultHeight = pending.defaultHeight.Get();
        set->ApplyCharacterList(pending.kind, pending.entries);
    }
}

void SetGlyphImageBinder(GlyphImageBinder binder) {
    g_glyphImageBinder.store(binder, std::memory_order_release);
}
GlyphImageBinder GetGlyphImageBinder() {
    return g_glyphImageBinder.load(std::memory_order_acquire);
}
