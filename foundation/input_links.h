#pragma once
// What the input code needs from the presentation layer, as two small seams:
// a look-up of graphic objects in the main scene (for mouse areas and the
// choice's select layer) and a sink for the command records a choice posts
// to show its cases. The presentation layer installs the real ones; tests
// install fakes. With none installed, no object is ever found and nothing is
// posted, so input still works for targets without an area.
//
// Threads: both are installed before any thread starts and only read after.
// They are called on the UI thread inside the input manager's lock, so an
// implementation may take the command-queue lock and the scene lock (the one
// under which the render thread changes the trees) but never the input
// manager's lock.

#include <string>
#include <vector>

#include "foundation/optional_value.h"
#include "foundation/types.h"

class classQueue;

// One graphic object as the input code sees it.
struct InputObjectInfo {
    bool hiddenInTree = false;  // the object or an ancestor is hidden
    bool hasTexture = false;
    int64 textureWidth = 0;
    int64 textureHeight = 0;
    float hitX = 0.0f;  // hitOffset: logical units from the screen centre, y upward
    float hitY = 0.0f;
    float hitZ = 0.0f;
};

class classInputSceneQuery {
  public:
    virtual ~classInputSceneQuery() = default;
    // Looks the path up from the main scene root under the scene lock; false
    // when there is no such object.
    virtual bool LookUp(const std::vector<int64>& path, InputObjectInfo& out) = 0;
};

// A command record a case posts to change its display, in the terms of the
// records it stands for.
struct InputCaseRecord {
    enum class Kind {
        GraphicAlter,        // path, file (when not empty), hide (when set)
        SoundCreate,         // soundLayer
        SoundAlter,          // soundLayer, file
        SoundPlay,           // soundLayer
        PageFeed,            // path
        GraphicStdOutTextX,  // path, text, font, color, speed, drawValue1, drawValue2
    };
    Kind kind = Kind::GraphicAlter;
    u32 sceneMask = 0;
    std::vector<int64> path;
    std::string file;
    classOptionalValue<int64> hide;
    int64 soundLayer = 0;
    std::string text;
    int64 font = 0;
    int64 color = 0;
    int64 speed = 0;
    int64 drawValue1 = 0;
    int64 drawValue2 = 0;
};

class classInputQueueSink {
  public:
    virtual ~classInputQueueSink() = default;
    // Appends without committing; a null queue is the main queue.
    virtual void Post(classQueue* queue, const InputCaseRecord& record) = 0;
    // Commits the calling thread's records in the queue (null: the main
    // queue) and in the main queue: a side script's choice shows with the
    // pictures it posted to the main queue before it.
    virtual void Commit(classQueue* queue) = 0;
};

// Null uninstalls. The objects stay owned by the caller.
void SetInputSceneQuery(classInputSceneQuery* query);
void SetInputQueueSink(classInputQueueSink* sink);
classInputSceneQuery* GetInputSceneQuery();
classInputQueueSink* GetInputQueueSink();

// Whether the main script is running an interrupt, for waiters that stand
// aside meanwhile. Null restores the default, which asks the main script
// context.
using InputInterruptTest = bool (*)();
void SetInputInterruptTest(InputInterruptTest test);
bool IsMainScriptInInterrupt();
