#pragma once
// A fixture that runs its tests under a comma-decimal locale (de_DE.UTF-8),
// built privately with localedef so the tests do not depend on which locales
// the machine has generated. Number parsing and formatting must come out as
// in the C locale whatever the process locale is.

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace testsupport {

class CommaDecimalLocaleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = std::filesystem::temp_directory_path() / ("velk2-locale-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        const std::string command =
            "localedef -i de_DE -f UTF-8 '" + (folder_ / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
        available_ = std::system(command.c_str()) == 0 || std::filesystem::exists(folder_ / "de_DE.UTF-8");
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    void SetUp() override {
        if (!available_) GTEST_SKIP() << "localedef could not build de_DE.UTF-8";
        ::setenv("LOCPATH", folder_.c_str(), 1);
        ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
        // The locale really is in force for the C library.
        char probe[16];
        std::snprintf(probe, sizeof probe, "%.1f", 1.5);
        ASSERT_STREQ(probe, "1,5");
    }
    void TearDown() override {
        std::setlocale(LC_ALL, "C");
        ::unsetenv("LOCPATH");
    }

private:
    static inline std::filesystem::path folder_;
    static inline bool available_ = false;
};

}  // namespace testsupport
