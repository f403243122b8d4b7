#include "platform/file_path.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_folder.h"

namespace {

class LoosePathTest : public ::testing::Test {
  protected:
    LoosePathTest() : cwd_(folder_.Path()) {}
    testfiles::TempFolder folder_;
    testfiles::ScopedWorkingDirectory cwd_;
};

}  // namespace

TEST_F(LoosePathTest, BackslashesBecomeSlashesAndExactNamesStay) {
    folder_.Put("system/Function.qvs", "f");
    EXPECT_EQ(platform::ResolveLoosePath("system\\Function.qvs"), "system/Function.qvs");
    EXPECT_EQ(platform::ToSlashPath("a\\b\\\\c"), "a/b//c");
    EXPECT_EQ(platform::ResolveLoosePath(""), "");
}

TEST_F(LoosePathTest, EachComponentMatchesIgnoringAsciiCase) {
    folder_.Put("Scenario/Chapter1/Start.QVS", "s");
    EXPECT_EQ(platform::ResolveLoosePath("scenario\\CHAPTER1\\start.qvs"), "Scenario/Chapter1/Start.QVS");
    EXPECT_EQ(platform::ResolveLoosePath("SCENARIO/chapter1/START.qvs"), "Scenario/Chapter1/Start.QVS");
    // Doubled separators are passed over.
    EXPECT_EQ(platform::ResolveLoosePath("scenario\\\\chapter1\\start.qvs"), "Scenario/Chapter1/Start.QVS");
    // A component that matches nothing gives the plain "/" form back.
    EXPECT_EQ(platform::ResolveLoosePath("scenario\\chapter2\\start.qvs"), "scenario/chapter2/start.qvs");
    EXPECT_EQ(platform::ResolveLoosePath("scenario\\chapter1\\end.qvs"), "scenario/chapter1/end.qvs");
}

TEST_F(LoosePathTest, AnExactMatchWinsAndOtherwiseTheChoiceIsStable) {
    // Both spellings exist, as they can on a case-sensitive file system.
    folder_.Put("start.qvs", "lower");
    folder_.Put("Start.qvs", "upper");
    EXPECT_EQ(platform::ResolveLoosePath("start.qvs"), "start.qvs");
    EXPECT_EQ(platform::ResolveLoosePath("Start.qvs"), "Start.qvs");
    // Neither matches exactly: the smaller name in byte order ("S" < "s").
    EXPECT_EQ(platform::ResolveLoosePath("START.QVS"), "Start.qvs");
}

TEST_F(LoosePathTest, DotComponentsAndNonAsciiBytesAreKept) {
    folder_.Put("Image/\xE8\x83\x8C\xE6\x99\xAF.png", "bg");  // 背景
    folder_.Put("Sound/a.ogg", "a");
    EXPECT_EQ(platform::ResolveLoosePath("image\\\xE8\x83\x8C\xE6\x99\xAF.PNG"),
              "Image/\xE8\x83\x8C\xE6\x99\xAF.png");
    EXPECT_EQ(platform::ResolveLoosePath("image\\..\\SOUND\\A.OGG"), "Image/../Sound/a.ogg");
    EXPECT_EQ(platform::ResolveLoosePath(".\\sound\\a.ogg"), "./Sound/a.ogg");
}

TEST_F(LoosePathTest, AbsolutePathsAreResolvedFromTheRoot) {
    folder_.Put("Data/File.bin", "x");
    std::string upper = folder_.Path().string() + "/data/FILE.BIN";
    EXPECT_EQ(platform::ResolveLoosePath(upper), folder_.Path().string() + "/Data/File.bin");
}
