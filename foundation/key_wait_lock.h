#pragma once
// The key-wait lock: a process-wide millisecond timer that text drawing starts
// and the key wait and the choice wait clear. While it runs, a key wait does
// not end, so a click cannot skip text the player has not yet seen laid out.
//
// Threads: the start and the duration are packed into one atomic 64-bit word,
// so a set on the render thread and a clear on a script thread never leave a
// torn pair behind.

#include "foundation/types.h"

// Starts the timer when it is not running (start 0) or has run out; the lock
// then lasts until the later of its current end and `ms` from now. A running
// lock keeps its start.
void SetKeyWaitLock(u32 ms);
void ClearKeyWaitLock();
// True while (now - start) < duration, in wrapping 32-bit arithmetic.
bool IsKeyWaitLocked(u32 now);
bool IsKeyWaitLockedNow();
