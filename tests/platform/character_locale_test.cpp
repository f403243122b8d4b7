#include "platform/character_locale.h"

#include <gtest/gtest.h>
#include <langinfo.h>

#include <clocale>
#include <cstdlib>
#include <string>

namespace {

// Sets the locale variables for one case and puts the process's locale and
// environment back afterwards.
class ScopedLocaleEnvironment {
  public:
    ScopedLocaleEnvironment(const char* all, const char* ctype, const char* lang) {
        for (int i = 0; i < 3; ++i) {
            const char* old = std::getenv(kNames[i]);
            saved_[i] = old != nullptr ? old : "";
            had_[i] = old != nullptr;
        }
        Set(0, all);
        Set(1, ctype);
        Set(2, lang);
        ctype_ = std::setlocale(LC_CTYPE, nullptr);
        numeric_ = std::setlocale(LC_NUMERIC, nullptr);
    }
    ~ScopedLocaleEnvironment() {
        for (int i = 0; i < 3; ++i) Set(i, had_[i] ? saved_[i].c_str() : nullptr);
        std::setlocale(LC_CTYPE, ctype_.c_str());
        std::setlocale(LC_NUMERIC, numeric_.c_str());
    }

  private:
    static void Set(int i, const char* value) {
        if (value == nullptr)
            unsetenv(kNames[i]);
        else
            setenv(kNames[i], value, 1);
    }
    static constexpr const char* kNames[3] = {"LC_ALL", "LC_CTYPE", "LANG"};
    std::string saved_[3];
    bool had_[3] = {};
    std::string ctype_, numeric_;
};

TEST(CharacterLocaleTest, CharactersBecomeUtf8AndNumbersKeepTheCLocale) {
    struct Case {
        const char* name;
        const char* all;
        const char* ctype;
        const char* lang;
    };
    const Case cases[] = {
        {"no locale variables", nullptr, nullptr, nullptr},
        {"LANG=C", nullptr, nullptr, "C"},
        {"LC_ALL=POSIX over a UTF-8 LANG", "POSIX", nullptr, "C.UTF-8"},
        {"a locale that is not installed", nullptr, "xx_YY.ISO-8859-1", nullptr},
        {"the environment's UTF-8 locale", nullptr, "C.UTF-8", "C"},
        {"LC_ALL UTF-8 may not reach numbers", "C.UTF-8", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        ScopedLocaleEnvironment environment(c.all, c.ctype, c.lang);
        std::setlocale(LC_CTYPE, "C");
        std::setlocale(LC_NUMERIC, "C");
        EXPECT_TRUE(platform::UseUtf8CharacterLocale()) << c.name;
        EXPECT_STREQ(nl_langinfo(CODESET), "UTF-8") << c.name;
        EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C") << c.name;
    }
}

}  // namespace
