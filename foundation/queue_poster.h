#pragma once
// Whose batch a command record belongs to. The side scripts post to the main
// queue beside the main script, and each thread's commit releases only what
// that thread posted: a side script's clock that wakes every few
// milliseconds must not show half of the main script's batch (a new picture
// whose transition is still to come) before the main script reaches its own
// synchronisation point.
//
// The mark is the calling thread's: every thread posts as the main script
// until it says otherwise (the side script threads do, for their whole run).
// Work done on another thread's behalf (the UI thread showing a choice's
// case states, a reset that ends the main script's skip) takes that
// thread's mark for its duration.
//
// Threads: thread-local; no lock.

#include "foundation/types.h"

using QuePoster = u32;
inline constexpr QuePoster kMainScriptPoster = 0;

// The mark of the calling thread's posts and commits.
QuePoster CurrentQuePoster();

// Posts and commits as `poster` until the end of the scope; scopes nest.
class classQuePosterScope {
  public:
    explicit classQuePosterScope(QuePoster poster);
    ~classQuePosterScope();
    classQuePosterScope(const classQuePosterScope&) = delete;
    classQuePosterScope& operator=(const classQuePosterScope&) = delete;

  private:
    QuePoster previous_;
};
