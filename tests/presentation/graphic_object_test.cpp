// The object tree: paths, replacement, deletion, deep copies and the
// reference counts they must keep balanced.
#include "presentation/graphic_object.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/presentation/fake_scene_services.h"

namespace {

struct RootDeleter {
    void operator()(classGraphicObject* root) const { classGraphicObject::Delete(root); }
};
using Root = std::unique_ptr<classGraphicObject, RootDeleter>;

Root NewRoot() {
    return Root(classGraphicObject::New());
}

classGraphicObject* Create(classGraphicObject* root, std::vector<int64> path) {
    return classGraphicObject::CreateAtPath(root, path);
}

classGraphicObject* Find(classGraphicObject* root, std::vector<int64> path) {
    return classGraphicObject::FindByPath(root, path);
}

TEST(GraphicKey, SplitsIntoWordsAndOrdersAsTheSignedNumber) {
    struct Case {
        int64 value;
        u32 low;
        int32 high;
    };
    const Case cases[] = {{INT64_MIN, 0, INT32_MIN}, {-123456789012345, 0x79F22087u, -28745}, {-1, 0xFFFFFFFFu, -1},
                          {0, 0, 0},                 {0xFFFFFFFF, 0xFFFFFFFFu, 0},          {int64{1} << 32, 0, 1}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const classKey64 key(cases[i].value);
        EXPECT_EQ(key.low, cases[i].low) << cases[i].value;
        EXPECT_EQ(key.high, cases[i].high) << cases[i].value;
        EXPECT_EQ(key.Value(), cases[i].value);
        if (i > 0) {
            EXPECT_LT(classKey64(cases[i - 1].value), key) << cases[i].value;
            EXPECT_FALSE(key < classKey64(cases[i - 1].value)) << cases[i].value;
        }
    }
}

TEST(GraphicObjectTree, FindByPathRefusesEmptyNegativeAndMissingPaths) {
    Root root = NewRoot();
    Create(root.get(), {5, 7});
    const int64 keys[] = {5, 7};
    EXPECT_EQ(classGraphicObject::FindByPath(root.get(), keys, 0), nullptr);
    EXPECT_EQ(classGraphicObject::FindByPath(root.get(), keys, -1), nullptr);
    EXPECT_EQ(classGraphicObject::FindByPath(nullptr, keys, 2), nullptr);
    for (const std::vector<int64>& missing : {std::vector<int64>{6}, {5, 8}, {7}, {5, 7, 0}}) {
        EXPECT_EQ(Find(root.get(), missing), nullptr) << missing.size();
    }
    classGraphicObject* seven = Find(root.get(), {5, 7});
    ASSERT_NE(seven, nullptr);
    EXPECT_EQ(seven->key.Value(), 7);
    EXPECT_EQ(seven->parent, Find(root.get(), {5}));
    EXPECT_EQ(seven->parent->parent, root.get());
}

TEST(GraphicObjectTree, CreateMakesMissingParentsAndReplacesTheLastObject) {
    FakeSceneServices services;
    Root root = NewRoot();
    classGraphicObject* seven = Create(root.get(), {5, 7});
    ASSERT_NE(seven, nullptr);
    classGraphicObject* five = Find(root.get(), {5});
    ASSERT_NE(five, nullptr);
    five->SetFileTexture("five.png");
    seven->SetFileTexture("seven.png");
    seven->Stencil = 1;
    Create(root.get(), {5, 7, 9});
    EXPECT_EQ(services.TextureRefs(1, "seven.png"), 1);

    classGraphicObject* fresh = Create(root.get(), {5, 7});
    ASSERT_NE(fresh, nullptr);
    // 7 is new (its texture and its child went with the old one); 5 stayed as it was.
    EXPECT_EQ(fresh->Stencil, 0);
    EXPECT_EQ(fresh->texture, nullptr);
    EXPECT_TRUE(fresh->children.empty());
    EXPECT_EQ(services.TextureRefs(1, "seven.png"), 0);
    EXPECT_EQ(Find(root.get(), {5}), five);
    EXPECT_EQ(services.TextureRefs(1, "five.png"), 1);
    EXPECT_EQ(five->children.size(), 1u);
    EXPECT_EQ(services.badReleases, 0);

    EXPECT_EQ(classGraphicObject::CreateAtPath(nullptr, {1}), nullptr);
    EXPECT_EQ(classGraphicObject::CreateAtPath(root.get(), std::vector<int64>{}), nullptr);
    const int64 key = 3;
    EXPECT_EQ(classGraphicObject::CreateAtPath(root.get(), &key, -1), nullptr);
}

TEST(GraphicObjectTree, PathsDeeperThanTheLimitAreRefused) {
    Root root = NewRoot();
    std::vector<int64> deep(classGraphicObject::kMaxPathDepth + 1, 1);
    EXPECT_EQ(Create(root.get(), deep), nullptr);
    EXPECT_TRUE(root->children.empty());
    deep.pop_back();
    classGraphicObject* deepest = Create(root.get(), deep);
    ASSERT_NE(deepest, nullptr);
    std::vector<int64> path;
    classGraphicObject::GetPath(deepest, path);
    EXPECT_EQ(path.size(), deep.size() + 1);
}

TEST(GraphicObjectTree, DeleteRemovesOneSubtreeAndKeepsItsSiblings) {
    FakeSceneServices services;
    {
        Root root = NewRoot();
        Create(root.get(), {1})->SetFileTexture("a.png");
        Create(root.get(), {2, 3})->SetFileTexture("b.png");
        Find(root.get(), {2})->SetPixelShader(":Pixel.Sepia");
        Create(root.get(), {4})->SetFileTexture("a.png");
        EXPECT_EQ(services.TextureRefs(1, "a.png"), 2);

        classGraphicObject* one = Find(root.get(), {1});
        classGraphicObject* four = Find(root.get(), {4});
        classGraphicObject::Delete(Find(root.get(), {2}));
        EXPECT_EQ(Find(root.get(), {2}), nullptr);
        EXPECT_EQ(Find(root.get(), {1}), one);
        EXPECT_EQ(Find(root.get(), {4}), four);
        EXPECT_EQ(services.TextureRefs(1, "b.png"), 0);
        EXPECT_EQ(services.ShaderRefs(kPixelShaderKind, ":Pixel.Sepia"), 0);
        classGraphicObject::Delete(nullptr);
    }
    // The root went with everything it held.
    EXPECT_EQ(services.TotalRefs(), 0);
    EXPECT_EQ(services.badReleases, 0);
}

TEST(GraphicObjectTree, CopyTreeIsADeepCopyThatCountsEveryReferenceOnce) {
    FakeSceneServices services;
    Root main = NewRoot();
    main->SetFileTexture("bg.png");
    classGraphicObject* a = Create(main.get(), {-2});
    a->SetFileTexture("face.png");
    a->SetPixelShader(":Pixel.Monochro");
    a->SetVertexShader("vs");
    a->GetOrCreateSlot(3)->Time = 400;
    a->text = "hello";
    a->AddTextRequest(classTextRequest{"more"});
    a->savedRenderTarget = 77;
    classGraphicObject* b = Create(main.get(), {-2, 6});
    b->SetFileTexture("face.png");
    const int64 c0 = 0;
    classGraphicObject::CreateCharacterAtPath(a, &c0, 1)->SetTextTexture("x", 2, 0xFF0000);
    const int before = services.TotalRefs();
    EXPECT_EQ(before, 6);  // bg, face twice, two shaders, one character

    {
        Root copy = NewRoot();
        ASSERT_TRUE(classGraphicObject::CopyTree(copy.get(), main.get()));
        EXPECT_EQ(services.TotalRefs(), 2 * before);
        EXPECT_EQ(services.TextureRefs(1, "face.png"), 4);
        classGraphicObject* ca = Find(copy.get(), {-2});
        ASSERT_NE(ca, nullptr);
        EXPECT_NE(ca, a);
        EXPECT_EQ(ca->parent, copy.get());
        EXPECT_EQ(ca->texture, a->texture);
        EXPECT_EQ(ca->pixelShader, a->pixelShader);
        EXPECT_EQ(ca->slots.size(), 2u);
        EXPECT_EQ(ca->FindSlot(3)->Time, 400);
        EXPECT_TRUE(ca->text.empty());
        EXPECT_TRUE(ca->textRequests.empty());
        EXPECT_EQ(ca->savedRenderTarget, 0u);
        ASSERT_NE(Find(copy.get(), {-2, 6}), nullptr);
        EXPECT_EQ(Find(copy.get(), {-2, 6})->parent, ca);
        ASSERT_EQ(ca->characters.size(), 1u);
        EXPECT_EQ(ca->characters.begin()->second.parent, ca);
        EXPECT_TRUE(ca->characters.begin()->second.textColour.IsSet());
    }
    EXPECT_EQ(services.TotalRefs(), before);

    // Copying over an object that already holds things drops them first.
    Root used = NewRoot();
    used->SetFileTexture("old.png");
    Create(used.get(), {99});
    classGraphicObject::CopyTree(used.get(), main.get());
    EXPECT_EQ(services.TextureRefs(1, "old.png"), 0);
    EXPECT_EQ(Find(used.get(), {99}), nullptr);
    used.reset();
    main.reset();
    EXPECT_EQ(services.TotalRefs(), 0);
    EXPECT_EQ(services.badReleases, 0);
}

TEST(GraphicObjectTree, PathsHiddenStateAndCharacterKeys) {
    Root root = NewRoot();
    classGraphicObject* leaf = Create(root.get(), {5, -3, 8});
    std::vector<int64> path{42};
    classGraphicObject::GetPath(leaf, path);
    EXPECT_EQ(path, (std::vector<int64>{0, 5, -3, 8, 42}));

    EXPECT_EQ(classGraphicObject::IsHiddenInTree(nullptr), 0);
    EXPECT_EQ(classGraphicObject::IsHiddenInTree(leaf), 0);
    Find(root.get(), {5})->SetHidden(1);
    EXPECT_EQ(classGraphicObject::IsHiddenInTree(leaf), 1);
    leaf->SetHidden(2);
    EXPECT_EQ(classGraphicObject::IsHiddenInTree(leaf), 2);

    EXPECT_EQ(leaf->NextCharacterKey(), 0);
    for (int64 k = 0; k < 3; ++k) {
        const int64 next = leaf->NextCharacterKey();
        EXPECT_EQ(next, k);
        classGraphicObject::CreateCharacterAtPath(leaf, &next, 1);
    }
    EXPECT_EQ(leaf->NextCharacterKey(), 3);
    const int64 one = 1;
    EXPECT_EQ(classGraphicObject::FindCharacterByPath(leaf, &one, 1)->parent, leaf);
    EXPECT_EQ(classGraphicObject::FindByPath(leaf, &one, 1), nullptr);  // characters are not children
}

TEST(GraphicObjectTree, TexturesAreKeptOrSwappedByKey) {
    FakeSceneServices services;
    Root root = NewRoot();
    classGraphicObject* o = Create(root.get(), {1});
    o->SetFileTexture("a.png");
    const int acquires = services.acquires;
    o->SetFileTexture("a.png");
    EXPECT_EQ(services.acquires, acquires);  // same file: kept
    EXPECT_EQ(o->GetTextureKind(), TextureKind_ImageFile);
    o->SetFileTexture("b.png");
    EXPECT_EQ(services.TextureRefs(1, "a.png"), 0);
    EXPECT_EQ(services.TextureRefs(1, "b.png"), 1);

    o->SetTextTexture("box", 3, 0x112233);
    EXPECT_EQ(o->GetTextureKind(), TextureKind_Text);
    const int textAcquires = services.acquires;
    o->SetTextTexture("box", 3, 0x445566);
    EXPECT_EQ(services.acquires, textAcquires);
    EXPECT_EQ(o->textColour.Get(), 0x445566);  // the colour changes even when the texture stays
    o->SetTextTexture("box", 4, 0);
    EXPECT_EQ(services.TextureRefs(3, "box", 3), 0);
    EXPECT_EQ(services.TextureRefs(3, "box", 4), 1);

    // A movie is always acquired afresh (played again from the start), releasing the one before.
    o->SetMovieTexture("op.mpg");
    const int movieAcquires = services.acquires;
    o->SetMovieTexture("op.mpg");
    EXPECT_EQ(services.acquires, movieAcquires + 1) << "the same movie is asked for again";
    EXPECT_EQ(services.TextureRefs(2, "op.mpg"), 1) << "and the one before is given back";
    o->SetFilterTexture(":Pixel.Negaposi");
    EXPECT_EQ(o->GetTextureKind(), TextureKind_Filter);
    o->SetTransitionTexture();
    EXPECT_EQ(o->GetTextureKind(), TextureKind_TransitionCapture);
    o->SetThumbnailTexture("save0001.dat");
    EXPECT_EQ(o->GetTextureKind(), TextureKind_PlayDataThumbnail);
    o->SetThumbnailCaptureTexture();
    EXPECT_EQ(o->GetTextureKind(), TextureKind_ThumbnailCapture);

    EXPECT_TRUE(o->SetPixelShader("p"));
    EXPECT_TRUE(o->SetPixelShader("q"));
    EXPECT_EQ(services.ShaderRefs(kPixelShaderKind, "p"), 0);
    EXPECT_EQ(services.ShaderRefs(kPixelShaderKind, "q"), 1);
    root.reset();
    EXPECT_EQ(services.TotalRefs(), 0);
    EXPECT_EQ(services.badReleases, 0);
}

TEST(GraphicObjectTree, TextPageFeedAndLineFeed) {
    FakeSceneServices services;
    services.fontHeights[3] = -24;
    Root root = NewRoot();
    classGraphicObject* box = Create(root.get(), {1});
    box->SetTextTexture("", 3, 0);
    box->indent = 12;
    box->textCursor = {50.0f, 10.0f, 0.0f};
    EXPECT_TRUE(box->TextNewLine());
    // |−24| + 20 below, back at the indent.
    EXPECT_EQ(box->textCursor.x, 12.0f);
    EXPECT_EQ(box->textCursor.y, -34.0f);
    EXPECT_EQ(box->lineStart, 1);
    box->singleLine = 1;
    EXPECT_FALSE(box->TextNewLine());
    EXPECT_EQ(box->textCursor.y, -34.0f);

    const int64 c = 0;
    classGraphicObject::CreateCharacterAtPath(box, &c, 1);
    box->text = "abc";
    box->characterCount = 3;
    box->textTime = 900;
    box->AddTextRequest(classTextRequest{"d"});
    box->lineStart = 0;
    EXPECT_TRUE(box->ClearText());
    EXPECT_TRUE(box->characters.empty());
    EXPECT_TRUE(box->text.empty());
    EXPECT_TRUE(box->textRequests.empty());
    EXPECT_EQ(box->characterCount, 0);
    EXPECT_EQ(box->textTime, 0);
    EXPECT_EQ(box->indent, 0);
    EXPECT_EQ(box->textCursor, (D3DXVECTOR3{}));
    EXPECT_EQ(box->lineStart, 1);
}

TEST(GraphicObjectTree, SlotsByNumberAndTheBusyTest) {
    FakeSceneServices services;
    Root root = NewRoot();
    classGraphicObject* o = Create(root.get(), {1});
    ASSERT_NE(o->FindSlot(0), nullptr);
    EXPECT_EQ(o->FindSlot(4), nullptr);
    EXPECT_EQ(o->InsertSlot(0), nullptr);
    classGraphicSlot* four = o->InsertSlot(4);
    ASSERT_NE(four, nullptr);
    EXPECT_EQ(o->GetOrCreateSlot(4), four);
    EXPECT_FALSE(o->IsBusy());

    four->Time = 100;
    four->Loop = 1;
    EXPECT_TRUE(o->IsBusy());
    four->Loop = -1;  // an endless slot is never waited for
    EXPECT_FALSE(o->IsBusy());

    o->SetMovieTexture("op.mpg");
    FakeTexture* movie = FakeSceneServices::Of(o->texture);
    EXPECT_FALSE(o->IsBusy()) << "never played";
    o->movieStarted = 1;
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(o->IsBusy()) << i;
    EXPECT_FALSE(o->IsBusy());  // a player that never comes stops holding the wait
    movie->hasMovieGraph = true;
    movie->moviePlaying = true;
    EXPECT_TRUE(o->IsBusy());
    movie->moviePlaying = false;
    EXPECT_FALSE(o->IsBusy());
}

}  // namespace
