#pragma once
// A dialog service for tests: answers boxes from a script (Cancel once the
// script runs out), remembers every box, and can act while a box is "shown".
// Installed for the lifetime of the object.

#include <functional>
#include <string>
#include <vector>

#include "platform/dialog.h"

namespace testdialogs {

class ScriptedDialogs final : public platform::DialogService {
  public:
    struct Box {
        std::string caption, text;
        platform::DialogButtons buttons;
        platform::DialogIcon icon;
    };
    ScriptedDialogs() { platform::SetDialogService(this); }
    ~ScriptedDialogs() override { platform::SetDialogService(nullptr); }
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    platform::DialogAnswer Show(const std::string& caption, const std::string& text,
                                platform::DialogButtons buttons, platform::DialogIcon icon) override {
        boxes.push_back({caption, text, buttons, icon});
        if (onShow) onShow(boxes.size());
        if (answers.empty()) return platform::HeadlessAnswer(buttons);
        const auto answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    std::vector<Box> boxes;
    std::vector<platform::DialogAnswer> answers;
    std::function<void(std::size_t)> onShow;
};

}  // namespace testdialogs
