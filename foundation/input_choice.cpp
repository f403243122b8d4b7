// Choice handling: how a waiter shows its cases in the four display states and
// moves the cursor between them by mouse and keyboard while its thread waits.

#include <cfloat>

#include "foundation/input_manager.h"
#include "foundation/input_waiter.h"
#include "platform/window_messages.h"

using namespace platform;

namespace {

// Both scenes for images, the main scene alone for text.
constexpr u32 kBothScenes = 3;
constexpr u32 kMainScene = 1;
constexpr int64 kCaseTextColor = 0xFFFFFF;

InputCaseRecord GraphicAlter(const std::vector<int64>& path) {
    InputCaseRecord record;
    record.kind = InputCaseRecord::Kind::GraphicAlter;
    record.sceneMask = kBothScenes;
    record.path = path;
    return record;
}

InputCaseRecord SoundRecord(InputCaseRecord::Kind kind, int64 layer) {
    InputCaseRecord record;
    record.kind = kind;
    record.soundLayer = layer;
    return record;
}

// Direction of a move-out target for an arrow key; 0 for any other key.
int MoveOutDirection(u64 key) {
    switch (key) {
        case VK_UP:
            return 1;
        case VK_DOWN:
            return 2;
        case VK_LEFT:
            return 3;
        case VK_RIGHT:
            return 4;
        default:
            return 0;
    }
}

}  // namespace

bool classInputTarget::ApplyCaseState(classInputTarget* target, int state) {
    if (target == nullptr || state < kCaseNormal || state > kCaseDisable) return false;
    std::string* strings = target->caseStrings;
    classInputWaiter* owner = target->owner;
    auto post = [owner](const InputCaseRecord& record) {
        if (owner != nullptr) owner->PostToQueue(record);
    };

    // Each part compares with what the case shows now, so applying the same
    // state again posts nothing.
    const std::string& image = strings[state];
    if (image != strings[kCurrentImage]) {
        if (!image.empty()) {
            InputCaseRecord record = GraphicAlter(target->region);
            record.file = image;
            post(record);
        }
        strings[kCurrentImage] = image;
    }

    const std::string& sound = strings[kCurrentSound + state];
    if (sound != strings[kCurrentSound]) {
        if (target->soundLayer.IsSet() && !sound.empty()) {
            int64 layer = target->soundLayer.Get();
            post(SoundRecord(InputCaseRecord::Kind::SoundCreate, layer));
            InputCaseRecord alter = SoundRecord(InputCaseRecord::Kind::SoundAlter, layer);
            alter.file = sound;
            post(alter);
            post(SoundRecord(InputCaseRecord::Kind::SoundPlay, layer));
        }
        strings[kCurrentSound] = sound;
    }

    if (!strings[kOverlaySelect].empty()) {
        std::string overlay = state == kCaseNormal   ? strings[kOverlayNormal]
                              : state == kCaseSelect ? strings[kOverlaySelect]
                                                     : std::string();
        if (overlay != strings[kCurrentOverlay]) {
            InputCaseRecord record = GraphicAlter(target->overlayLayer);
            if (!overlay.empty()) {
                record.file = overlay;
                record.hide.Set(0);
            } else {
                record.hide.Set(1);
            }
            post(record);
            strings[kCurrentOverlay] = overlay;
        }
    }

    if (!target->textLayer.empty()) {
        const std::string& text = strings[kCurrentText + state];
        if (text != strings[kCurrentText]) {
            if (!text.empty()) {
                InputCaseRecord feed;
                feed.kind = InputCaseRecord::Kind::PageFeed;
                feed.sceneMask = kMainScene;
                feed.path = target->textLayer;
                post(feed);
                InputCaseRecord draw;
                draw.kind = InputCaseRecord::Kind::GraphicStdOutTextX;
                draw.sceneMask = kMainScene;
                draw.path = target->textLayer;
                draw.text = text;
                draw.font = 0;
                draw.color = kCaseTextColor;
                draw.speed = 0;  // the whole text at once
                post(draw);
            }
            strings[kCurrentText] = text;
        }
    }
    return true;
}

void classInputWaiter::ResetCaseStates(classInputTarget* selected) {
    for (classInputTarget& target : targets) {
        int state = target.disabled != 0                           ? kCaseDisable
                    : (selected != nullptr && &target == selected) ? kCaseSelect
                                                                   : kCaseNormal;
        classInputTarget::ApplyCaseState(&target, state);
    }
}

bool classInputWaiter::OnMouseMove(int64 lParam) {
    float x = static_cast<float>(PointParamX(lParam));
    float y = static_cast<float>(PointParamY(lParam));
    if (!MapClientToLogical(x, y)) return false;
    classInputTarget* hovered = FindHoverTarget(x, y);
    selectedTarget = hovered;
    ResetCaseStates(hovered);
    CommitQueue();
    // Off every case the pointer belongs to whoever waits below us.
    return hovered != nullptr;
}

classInputTarget* classInputWaiter::Navigate(u32 message, u64 key) {
    if (navigationMode == 0 || message != WM_KEYDOWN) return nullptr;

    auto selectedAt = targets.end();
    for (auto it = targets.begin(); it != targets.end(); ++it) {
        if (&*it == selectedTarget) selectedAt = it;
    }

    if (navigationMode == 1) {
        if (key == VK_LEFT || key == VK_UP) {
            // Backward from the cursor, or from the end; no wrap.
            for (auto it = selectedAt; it != targets.begin();) {
                --it;
                if (it->IsMoveOn()) return &*it;
            }
            return nullptr;
        }
        if (key == VK_RIGHT || key == VK_DOWN) {
            auto it = selectedAt == targets.end() ? targets.begin() : std::next(selectedAt);
            for (; it != targets.end(); ++it) {
                if (it->IsMoveOn()) return &*it;
            }
            return nullptr;
        }
        return nullptr;
    }

    if (navigationMode != 2) return nullptr;

    if (selectedAt == targets.end()) {
        for (classInputTarget& target : targets) {
            if (target.IsMoveOn()) return &target;
        }
        return nullptr;
    }

    float sx = 0.0f;
    float sy = 0.0f;
    float sz = 0.0f;
    classInputTarget* best = nullptr;
    if (selectedTarget->GetRegionPosition(sx, sy, sz)) {
        // Stepping sideways favours the same row, up and down the same column.
        float bestDistance = FLT_MAX;
        for (classInputTarget& target : targets) {
            if (!target.IsMoveOn()) continue;
            float tx = 0.0f;
            float ty = 0.0f;
            float tz = 0.0f;
            if (!target.GetRegionPosition(tx, ty, tz)) continue;
            float dx = tx - sx;
            float dy = ty - sy;  // y grows upward
            float distance = FLT_MAX;
            if (key == VK_LEFT && tx < sx) distance = dx * dx / 2.0f + dy * dy;
            if (key == VK_UP && ty > sy) distance = dx * dx + dy * dy / 2.0f;
            if (key == VK_RIGHT && tx > sx) distance = dx * dx / 2.0f + dy * dy;
            if (key == VK_DOWN && ty < sy) distance = dx * dx + dy * dy / 2.0f;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = &target;
            }
        }
    }
    if (best != nullptr) return best;

    int direction = MoveOutDirection(key);
    if (direction == 0) return nullptr;
    for (classInputTarget& target : targets) {
        if (target.IsMoveOut(direction)) return &target;
    }
    return nullptr;
}
