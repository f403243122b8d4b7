#pragma once
// The request block of a movie texture: "GraphicPlay", "GraphicStop" and
// "GraphicPouse" only set bytes here (on the render thread, while their
// records run), and the scene update carries them out on the movie's player.
//
// Lock: g_movieLock guards every field of every block. It is a leaf: nothing
// else is taken while it is held.

#include "foundation/critical_section.h"
#include "foundation/optional_value.h"
#include "foundation/types.h"

extern classCriticalSection g_movieLock;

class classMovieControl {
  public:
    classMovieControl() { rate.Set(1.0); }  // the first update applies rate 1.0 once

    classOptionalValue<double> rate;
    u8 stopRequest = 0;
    u8 playRequest = 0;
    u8 pauseRequest = 0;
    // Nothing asks for positions; they stay 0 and their flags clear.
    int64 currentPosition = 0;
    int64 stopPosition = 0;
    u32 currentFlags = 0;
    u32 stopFlags = 0;

    void RequestStop();
    void RequestPlay();
    void RequestPause();
};
