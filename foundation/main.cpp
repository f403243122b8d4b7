// The velk2 executable: the program takes no arguments; everything it plays
// comes from the working directory.
#include <csignal>

#include "foundation/entry.h"
#include "foundation/game_build_settings.h"
#include "foundation/install_services.h"
#include "foundation/player_files.h"
#include "platform/character_locale.h"
#include "platform/memory_policy.h"

int main() {
    // A file-size limit then fails the write (EFBIG), which the writers of
    // the player's files report and survive, instead of killing the game.
    std::signal(SIGXFSZ, SIG_IGN);
    // Before any thread starts: window titles in Japanese need it.
    platform::UseUtf8CharacterLocale();
    platform::SkipComposeSequences();
    platform::ReturnLargeBlocksToTheSystem();
    platform::GrowHeapsInLargeSteps();
    // Which game this is: where its player's files live and what marks them
    // as its own, before anything reads either.
    UsePlayerFiles(kGamePlayerFolder, kGamePlayerIdentity);
    InstallServices();
    return WinMain();
}
