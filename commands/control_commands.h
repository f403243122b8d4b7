#pragma once
// Commands that read and write the player's settings and the run-state flags
// of the application object, change the window, commit the main queue and
// answer small questions; plus the clean-up that ends a skip to the next
// choice. All run on the calling script thread.

#include <vector>

#include "foundation/types.h"

class classScriptContext;
class classScriptValue;

#define VELK2_COMMAND(name)                                                                             \
    bool name(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count, \
              classScriptValue& result)

VELK2_COMMAND(CommandDammy);
VELK2_COMMAND(CommandApply);
VELK2_COMMAND(CommandIsDebug);
VELK2_COMMAND(CommandIsNowSkipping);
VELK2_COMMAND(CommandWindowTitle);
VELK2_COMMAND(CommandWindowIcon);
VELK2_COMMAND(CommandSystemScreenModeChange);
VELK2_COMMAND(CommandSystemTextColor);
VELK2_COMMAND(CommandSystemTextSpeed);
VELK2_COMMAND(CommandSystemAutoSpeed);
VELK2_COMMAND(CommandSystemKeyWaitVoiceStop);
VELK2_COMMAND(CommandSystemTranstionCut);
VELK2_COMMAND(CommandSystemTranstionCutIs);
VELK2_COMMAND(CommandSystemSkipAlready);
VELK2_COMMAND(CommandSystemParametorSkipType);
VELK2_COMMAND(CommandSkipPlaying);
VELK2_COMMAND(CommandAutoPlaying);
VELK2_COMMAND(CommandSkipPlayingIs);
VELK2_COMMAND(CommandAutoPlayingIs);
VELK2_COMMAND(CommandNextSelectSkiping);
VELK2_COMMAND(CommandNextSelectSkipingIs);
VELK2_COMMAND(CommandNextSelectSkipingAbort);
VELK2_COMMAND(CommandCloseDisable);

// Ends a skip to the next choice: finishes running animations and text,
// shows the result, clears the skip flag, gives the music group its full
// volume back, removes the main scene's object 800 and fades the new state
// in over a second. Blocks the calling script thread for about that second;
// returns early when the program quits.
void ClearSceneAndReset();

// Any thread: every script blocked in a wait or a choice looks at the skip,
// auto and interrupt state again.
void WakeAllScriptWaiters();
