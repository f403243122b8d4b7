#include "platform/dialog.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

using namespace platform;

namespace {

// Sets an environment variable for one scope and restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = getenv(name);
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        if (value != nullptr) setenv(name, value, 1); else unsetenv(name);
    }
    ~ScopedEnv() {
        if (hadOld_) setenv(name_, old_.c_str(), 1); else unsetenv(name_);
    }

private:
    const char* name_;
    bool hadOld_ = false;
    std::string old_;
};

}  // namespace

TEST(SystemDialogs, WithNobodyToSeeThemTheyGoToStderrAndAnswerAtOnce) {
    InstallSystemDialogService();
    {
        ScopedEnv forced("VELK2_DIALOGS", "stderr");
        testing::internal::CaptureStderr();
        EXPECT_EQ(ShowMessageBox("filename:a.qvs", "ReadFile Access Error", DialogButtons::RetryCancel),
                  DialogAnswer::Cancel)
            << "Retry would loop for ever with no one to answer";
        EXPECT_EQ(ShowMessageBox("データフォルダの作成に失敗しました", "Data Folder Create Error"), DialogAnswer::Ok);
        std::string echoed = testing::internal::GetCapturedStderr();
        EXPECT_NE(echoed.find("ReadFile Access Error"), std::string::npos);
        EXPECT_NE(echoed.find("filename:a.qvs"), std::string::npos);
        EXPECT_NE(echoed.find("データフォルダの作成に失敗しました"), std::string::npos);
    }
    {
        ScopedEnv noMode("VELK2_DIALOGS", nullptr);
        ScopedEnv offscreen("SDL_VIDEODRIVER", "offscreen");
        testing::internal::CaptureStderr();
        EXPECT_EQ(ShowMessageBox("x", "y", DialogButtons::RetryCancel), DialogAnswer::Cancel);
        testing::internal::GetCapturedStderr();
    }
    {
        ScopedEnv noMode("VELK2_DIALOGS", nullptr);
        ScopedEnv noDriver("SDL_VIDEODRIVER", nullptr);
        ScopedEnv noX("DISPLAY", nullptr);
        ScopedEnv noWayland("WAYLAND_DISPLAY", nullptr);
        testing::internal::CaptureStderr();
        EXPECT_EQ(ShowMessageBox("x", "y", DialogButtons::RetryCancel), DialogAnswer::Cancel);
        testing::internal::GetCapturedStderr();
    }
    SetDialogService(nullptr);
}
