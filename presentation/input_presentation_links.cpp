#include "presentation/input_presentation_links.h"

#include <atomic>

#include "foundation/application.h"
#include "foundation/input_links.h"
#include "presentation/command_queue.h"
#include "presentation/graphic_object.h"
#include "presentation/que_records.h"

namespace {

std::atomic<InputTextureSizeSource> g_textureSizeSource{nullptr};  // atomic: set once, read on the UI thread

class MainSceneQuery final : public classInputSceneQuery {
  public:
    bool LookUp(const std::vector<int64>& path, InputObjectInfo& out) override {
        classApplication* application = GetApplication();
        if (application == nullptr) return false;
        // The render thread changes the trees (records and the per-frame
        // update) only under the application lock; reading under it keeps
        // the UI thread off a child map that is being rebuilt.
        classCriticalSectionLock hold(application->GetLock());
        classGraphicObject* object = classGraphicObject::FindByPath(application->mainScene, path);
        if (object == nullptr) return false;
        out.hiddenInTree = classGraphicObject::IsHiddenInTree(object) != 0;
        out.hasTexture = false;
        InputTextureSizeSource size = g_textureSizeSource.load();
        if (object->texture != nullptr && size != nullptr) {
            out.hasTexture = size(object->texture, &out.textureWidth, &out.textureHeight);
        }
        out.hitX = object->hitOffset.x;
        out.hitY = object->hitOffset.y;
        out.hitZ = object->hitOffset.z;
        return true;
    }
};

class QueueSink final : public classInputQueueSink {
  public:
    void Post(classQueue* queue, const InputCaseRecord& record) override {
        if (queue == nullptr) queue = GetMainQueue();
        if (queue == nullptr) return;
        QueRecordPtr made = Make(record);
        if (made != nullptr) made->sceneMask = record.sceneMask;
        queue->Post(std::move(made));
    }
    void Commit(classQueue* queue) override {
        classQueue* main = GetMainQueue();
        CommitQueue(main);
        if (queue != nullptr && queue != main) CommitQueue(queue);
    }

  private:
    static QueRecordPtr Make(const InputCaseRecord& record) {
        using Kind = InputCaseRecord::Kind;
        switch (record.kind) {
            case Kind::GraphicAlter: {
                auto* alter = new classQue_GraphicAlter();
                alter->path = record.path;
                alter->fileName = record.file;
                if (record.hide.IsSet()) alter->hide.Set(static_cast<u8>(record.hide.Get()));
                return QueRecordPtr(alter);
            }
            case Kind::SoundCreate: {
                auto* create = new classQue_SoundCreate();
                create->layer = record.soundLayer;
                return QueRecordPtr(create);
            }
            case Kind::SoundAlter: {
                auto* alter = new classQue_SoundAlter();
                alter->layer = record.soundLayer;
                alter->files = record.file;
                return QueRecordPtr(alter);
            }
            case Kind::SoundPlay: {
                auto* play = new classQue_SoundPlay();
                play->layer = record.soundLayer;
                return QueRecordPtr(play);
            }
            case Kind::PageFeed: {
                auto* feed = new classQue_PageFeed();
                feed->path = record.path;
                return QueRecordPtr(feed);
            }
            case Kind::GraphicStdOutTextX: {
                auto* text = new classQue_GraphicStdOutTextX();
                text->path = record.path;
                text->text = record.text;
                text->fontNo.Set(record.font);
                text->color.Set(record.color);
                text->speed.Set(record.speed);
                text->fadeMode.Set(record.drawValue1);
                text->fadeTime.Set(record.drawValue2);
                text->repeat.Set(0);
                text->repeatPeriod.Set(0);
                return QueRecordPtr(text);
            }
        }
        return nullptr;
    }
};

MainSceneQuery g_mainSceneQuery;
QueueSink g_queueSink;

}  // namespace

void SetInputTextureSizeSource(InputTextureSizeSource source) {
    g_textureSizeSource.store(source);
}
InputTextureSizeSource GetInputTextureSizeSource() {
    return g_textureSizeSource.load();
}

void InstallInputPresentationLinks() {
    SetInputSceneQuery(&g_mainSceneQuery);
    SetInputQueueSink(&g_queueSink);
}
