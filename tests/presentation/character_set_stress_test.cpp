// A script thread loads character lists again and again while the render
// thread applies them and lays text out: every change of the sets and the
// textures happens on the render thread, so the two never race (run under
// the thread sanitizer), and every load still takes effect.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "presentation/glyph_set.h"
#include "presentation/graphic_object.h"
#include "presentation/text_layout.h"
#include "support/fake_font_service.h"
#include "support/presentation/fake_scene_services.h"
#include "support/temp_folder.h"

namespace {

TEST(CharacterSetThreads, ListsLoadedOnAScriptThreadApplyOnTheRenderThread) {
    fakes::FakeFontService fonts;
    FakeSceneServices services;
    g_glyphSets.Clear();
    DefineFont(0, "Face", 30, 0);
    testfiles::TempFolder folder;
    testfiles::ScopedWorkingDirectory cwd(folder.Path());
    folder.Put("list.txt", std::string("3042,a.png\n3044,i.png\n"));

    constexpr int kLoads = 200;
    classOptionalValue<int64> twenty;
    twenty.Set(20);
    std::atomic<bool> done{false};
    std::thread script([&] {
        for (int i = 0; i < kLoads; ++i) {
            LoadCharacterSet(0, (i % 2) != 0 ? GlyphSetKind_ColourImages : GlyphSetKind_TintedImages, "list.txt",
                             twenty, twenty);
        }
        done.store(true);
    });
    classGraphicObject* box = classGraphicObject::New();
    box->SetFileTexture("box.png");
    classTextRequest request;
    request.text = "\xE3\x81\x82\xE3\x81\x84";
    int frames = 0;
    while (!done.load() || frames == 0) {
        ApplyPendingCharacterSets();
        box->AddTextRequest(request);
        DrawTextStep(*box);
        box->ClearText();
        ++frames;
    }
    script.join();
    ApplyPendingCharacterSets();
    {
        classCriticalSectionLock hold(g_glyphSets.lock);
        const classGlyphSet* set = g_glyphSets.Find(0);
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(set->kind, GlyphSetKind_ColourImages) << "the last load wins";
        EXPECT_EQ(set->glyphs.size(), 2u);
    }
    EXPECT_EQ(services.TextureRefs(TextureKind_Text, "\xE3\x81\x82", 0), 1) << "each glyph holds its resource once";
    classGraphicObject::Delete(box);
    g_glyphSets.Clear();
    EXPECT_EQ(services.TextureRefs(TextureKind_Text, "\xE3\x81\x82", 0), 0);
    EXPECT_EQ(services.badReleases, 0);
}

}  // namespace
