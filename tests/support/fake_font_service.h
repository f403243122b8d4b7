#pragma once
// A font service in memory: every font measures every character as
// `advance` wide (or its own width from `widths`) and `emHeight` + 4 high,
// and remembers what it was opened with. Installs itself for its lifetime.

#include <map>
#include <string>
#include <vector>

#include "platform/font.h"

namespace fakes {

class FakeFontService final : public platform::FontService {
  public:
    struct Opened {
        std::string face;
        int emHeight = 0;
        int width = 0;
        bool open = true;
    };

    FakeFontService() { previous_ = platform::SetFontService(this); }
    ~FakeFontService() override { platform::SetFontService(previous_); }

    platform::FontHandle OpenFont(const std::string& face, int emHeight, int width) override {
        opened.push_back(Opened{face, emHeight, width, true});
        return static_cast<platform::FontHandle>(opened.size());
    }
    void CloseFont(platform::FontHandle font) override {
        if (font >= 1 && font <= opened.size()) opened[font - 1].open = false;
    }
    bool GetMetrics(platform::FontHandle font, platform::FontMetrics* metrics) override {
        if (font < 1 || font > opened.size()) return false;
        const Opened& o = opened[font - 1];
        metrics->ascent = o.emHeight;
        metrics->descent = 4;
        metrics->height = o.emHeight + 4;
        metrics->aveCharWidth = o.width != 0 ? o.width : o.emHeight / 2;
        metrics->emHeight = o.emHeight;
        return true;
    }
    bool MeasureCharacter(platform::FontHandle font, u32 codePoint, int* width, int* height) override {
        if (font < 1 || font > opened.size()) return false;
        auto found = widths.find(codePoint);
        *width = found != widths.end() ? found->second : opened[font - 1].emHeight;
        *height = opened[font - 1].emHeight + 4;
        return true;
    }
    bool RenderCharacter(platform::FontHandle, u32, u8*, int, int, std::size_t) override { return true; }
    std::string ResolvedFamily(platform::FontHandle font) override {
        return font >= 1 && font <= opened.size() ? opened[font - 1].face : std::string();
    }
    int OpenCount() const {
        int count = 0;
        for (const Opened& o : opened) count += o.open ? 1 : 0;
        return count;
    }

    std::vector<Opened> opened;
    std::map<u32, int> widths;

  private:
    platform::FontService* previous_ = nullptr;
};

}  // namespace fakes
