// The snapshot the main script takes when it enters an interrupt: a DataSave
// of "save----.dat" in the per-user folder, committed at once and awaited for
// a frame, so that a save made inside the interrupt can copy the state from
// before it.
#include "presentation/interrupt_snapshot.h"

#include "foundation/application.h"
#include "presentation/command_queue.h"
#include "presentation/que_records.h"

bool WriteInterruptSnapshot() {
    classApplication* application = GetApplication();
    if (application == nullptr || application->nextSelectSkipping.load() != 0) return false;
    classQueHolder holder;
    classQue_DataSave* save = holder.NewDataSave();
    // The folder string is set before any script thread starts and not changed after.
    save->path = application->dataFolder + "save----.dat";
    holder.Post();
    if (!CommitQueue(GetMainQueue())) return false;
    application->WaitFrame();
    return true;
}
