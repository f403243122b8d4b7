// Characters of a character list, laid out and drawn through the shared
// textures on a recording device: a listed character whose image cannot be
// had takes no room, and a glyph drawn in one colour is drawn in its own
// colours once its set is loaded again as an own-colour list.
//
// The fake font measures a character of the 30-pixel font 60 wide at twice
// its size, so it advances 30; a box of 200 puts a character's centre at
// −100 + advance / 2 + cursor, and the cursor moves by advance − 0.5.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "presentation/glyph_set.h"
#include "presentation/graphic_device.h"
#include "presentation/graphic_object.h"
#include "presentation/scene_draw.h"
#include "presentation/shared_resource.h"
#include "presentation/shared_texture_services.h"
#include "presentation/text_layout.h"
#include "presentation/text_realise.h"
#include "support/bmp_file.h"
#include "support/fake_font_service.h"
#include "support/fake_gpu_device.h"
#include "support/presentation/fake_device_holder.h"
#include "support/temp_folder.h"

namespace {

const std::string kA = "\xE3\x81\x82";  // あ, U+3042

using testbytes::SolidBmp;

classOptionalValue<int64> Given(int64 value) {
    classOptionalValue<int64> out;
    out.Set(value);
    return out;
}

class CharacterListDrawTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(device.Start());
        gpu = device.gpu;
        previousServices = SetSceneServices(&services);
        previousSource = SetSceneDrawSource(&source);
        previousRealise = GetSharedResourceHooks().realiseText;
        previousLayout = SetTextLayoutSource(nullptr);
        SetTextLayoutSource(previousLayout);
        RegisterTextRealisation();
        SetGlyphImageBinder(&BindGlyphImage);
        g_glyphSets.Clear();
        DefineFont(0, "Face", 30, 0);
        folder.Put("box.bmp", SolidBmp(200, 100, 0, 0, 0));
        root = classGraphicObject::New();
        box = classGraphicObject::CreateAtPath(root, {100});
        box->SetFileTexture("box.bmp");
    }
    void TearDown() override {
        classGraphicObject::Delete(root);
        g_glyphSets.Clear();
        g_sharedResources.Clear();
        SetGlyphImageBinder(nullptr);
        SetTextLayoutSource(previousLayout);
        GetSharedResourceHooks().realiseText = previousRealise;
        SetSceneDrawSource(previousSource);
        SetSceneServices(previousServices);
    }
    void Lay(const std::string& text, int64 colour) {
        classTextRequest request;
        request.text = text;
        request.colour = colour;
        box->AddTextRequest(request);
        ASSERT_TRUE(DrawTextStep(*box));
    }
    void LoadList(int32 kind) {
        ASSERT_TRUE(LoadCharacterSet(0, kind, "list.txt", Given(40), Given(40)));
        ApplyPendingCharacterSets();
    }
    std::vector<float> CharacterXs() {
        std::vector<float> xs;
        for (auto& [key, character] : box->characters) {
            xs.push_back(character.FindSlot(classKey64(kTextSlotPosition))->Position.x);
        }
        return xs;
    }
    void DrawFrame() {
        gpu->draws.clear();
        classGraphicObject::Update(root, 0);
        ASSERT_TRUE(scene_draw::BeginSceneDraw(root));
        scene_draw::DrawTree(root);
        scene_draw::EndSceneDraw(root);
    }

    fakes::FakeFontService fonts;
    fakes::FakeGpuDevice* gpu = nullptr;
    FakeDeviceHolder device;
    classGraphicDevice& holder = device.holder;
    classSharedTextureServices services{nullptr};
    classSharedTextureSource source{nullptr};
    classSceneServices* previousServices = nullptr;
    classSceneDrawSource* previousSource = nullptr;
    bool (*previousRealise)(classSharedResource&, platform::GpuDevice&) = nullptr;
    classTextLayoutSource* previousLayout = nullptr;
    testfiles::TempFolder folder;
    testfiles::ScopedWorkingDirectory cwd{folder.Path()};
    classGraphicObject* root = nullptr;
    classGraphicObject* box = nullptr;
};

TEST_F(CharacterListDrawTest, AListedCharacterWithoutItsImageTakesNoRoom) {
    // "a", then あ, then "b". A 40-wide image in a set designed 40 wide is
    // scaled by 30 / 40 and advances 30, as a font character does.
    struct Case {
        const char* name;
        bool listed;
        bool imagePresent;
        float middleX;
        float lastX;
    };
    const Case cases[] = {
        {"drawn with the font", false, false, -100 + 15 + 29.5f, -100 + 15 + 59.f},
        {"drawn from its image", true, true, -100 + 15 + 29.5f, -100 + 15 + 59.f},
        // No advance: centred on the cursor, which then steps back half a pixel.
        {"its image is missing", true, false, -100 + 0 + 29.5f, -100 + 15 + 29.f},
    };
    for (const Case& c : cases) {
        box->ClearText();
        g_glyphSets.Clear();
        DefineFont(0, "Face", 30, 0);
        folder.Put("list.txt", std::string(c.listed ? "3042,g\\a.bmp\r\n" : ""));
        std::filesystem::remove(folder / "g/a.bmp");
        if (c.imagePresent) folder.Put("g/a.bmp", SolidBmp(40, 40, 0xFF, 0xFF, 0xFF));
        LoadList(GlyphSetKind_TintedImages);
        Lay("a" + kA + "b", 0xFFFFFF);
        const std::vector<float> xs = CharacterXs();
        ASSERT_EQ(xs.size(), 3u) << c.name;
        EXPECT_FLOAT_EQ(xs[0], -85.f) << c.name;
        EXPECT_FLOAT_EQ(xs[1], c.middleX) << c.name;
        EXPECT_FLOAT_EQ(xs[2], c.lastX) << c.name;
    }
}

TEST_F(CharacterListDrawTest, AGlyphIsTintedOnlyWhileItsSetTintsItsImages) {
    folder.Put("list.txt", std::string("3042,g\\a.bmp\r\n"));
    folder.Put("g/a.bmp", SolidBmp(40, 40, 0x10, 0x20, 0x30));
    // One red あ stays on screen while its set is loaded again and again.
    struct Step {
        const char* name;
        int32 kind;
        bool tinted;
    };
    const Step steps[] = {
        {"tinted like text", GlyphSetKind_TintedImages, true},
        {"loaded again in its own colours", GlyphSetKind_ColourImages, false},
        {"own colours, a second frame", GlyphSetKind_ColourImages, false},
        {"tinted again", GlyphSetKind_TintedImages, true},
    };
    bool laid = false;
    for (const Step& step : steps) {
        LoadList(step.kind);
        if (!laid) Lay(kA, 0xFF0000);
        laid = true;
        DrawFrame();
        ASSERT_EQ(gpu->draws.size(), 2u) << step.name << ": the box, then the character";
        EXPECT_FALSE(gpu->draws[0].tinted) << step.name << ": the box is an image";
        EXPECT_EQ(gpu->draws[1].tinted, step.tinted) << step.name;
        EXPECT_EQ(gpu->draws[1].tint, step.tinted ? 0xFF0000u : 0u) << step.name;
    }
}

}  // namespace
