// Cost of laying out one page of text (120 characters with a ruby and a
// colour tag, fading in one after another) without textures, and of
// measuring characters on the real font faces.
#include <benchmark/benchmark.h>

#include <string>

#include "foundation/key_wait_lock.h"
#include "platform/font.h"
#include "presentation/glyph_set.h"
#include "presentation/graphic_object.h"
#include "presentation/text_layout.h"

namespace {

std::string Page() {
    std::string text = "\xE3\x80\x8C@c(0xFF8000)";
    for (int i = 0; i < 118; ++i) text += "\xE3\x81\x82";
    text += "@r(\xE6\xBC\xA2\xE5\xAD\x97,\xE3\x81\x8B\xE3\x82\x93\xE3\x81\x98)";
    return text;
}

void BM_LayOutPage(benchmark::State& state) {
    g_glyphSets.Clear();
    DefineFont(0, "\xE3\x83\xA1\xE3\x82\xA4\xE3\x83\xAA\xE3\x82\xAA", 30, 0);
    DefineFont(9, "\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF", 30, 0);
    classTextRequest request;
    request.text = Page();
    request.speed = 50;
    request.fadeMode = 1;
    request.fadeTime = 300;
    classGraphicObject* box = classGraphicObject::New();
    for (auto _ : state) {
        box->ClearText();
        box->AddTextRequest(request);
        benchmark::DoNotOptimize(DrawTextStep(*box));
    }
    state.SetItemsProcessed(state.iterations() * 124);
    classGraphicObject::Delete(box);
    g_glyphSets.Clear();
    ClearKeyWaitLock();
}
BENCHMARK(BM_LayOutPage);

void BM_MeasureCharacter(benchmark::State& state) {
    platform::FontService& fonts = platform::GetFontService();
    const platform::FontHandle font =
        fonts.OpenFont("\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF", 60, 0);
    u32 code = 0x3042;
    for (auto _ : state) {
        int width = 0, height = 0;
        fonts.MeasureCharacter(font, code, &width, &height);
        benchmark::DoNotOptimize(width);
        code = code == 0x3093 ? 0x3042 : code + 1;
    }
    fonts.CloseFont(font);
}
BENCHMARK(BM_MeasureCharacter);

}  // namespace
