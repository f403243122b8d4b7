// The velk2 executable: the program takes no arguments; everything it plays
// comes from the working directory.
#include "foundation/entry.h"
#include "foundation/install_services.h"

int main() {
    InstallServices();
    return WinMain();
}
