// The velk2 executable: the program takes no arguments; everything it plays
// comes from the working directory.
#include "foundation/entry.h"
#include "foundation/input_manager.h"
#include "presentation/scene_subsystem.h"

int main() {
    RegisterInputSubsystem();
    RegisterSceneSubsystem();
    return WinMain();
}
