#include "foundation/player_files.h"

#include <cstring>

namespace {

// Written only by UsePlayerFiles, before any thread starts.
std::string& FolderName() {
    static std::string name = kDefaultPlayerFolder;
    return name;
}
// Written only by UsePlayerFiles, before any thread starts.
u8 g_identity[16] = {kDefaultPlayerIdentity[0],  kDefaultPlayerIdentity[1],  kDefaultPlayerIdentity[2],
                     kDefaultPlayerIdentity[3],  kDefaultPlayerIdentity[4],  kDefaultPlayerIdentity[5],
                     kDefaultPlayerIdentity[6],  kDefaultPlayerIdentity[7],  kDefaultPlayerIdentity[8],
                     kDefaultPlayerIdentity[9],  kDefaultPlayerIdentity[10], kDefaultPlayerIdentity[11],
                     kDefaultPlayerIdentity[12], kDefaultPlayerIdentity[13], kDefaultPlayerIdentity[14],
                     kDefaultPlayerIdentity[15]};

}  // namespace

const u8 (&g_applicationGuid)[16] = g_identity;

void UsePlayerFiles(const std::string& folderName, const u8 (&identity)[16]) {
    // A folder is never the data home itself: that would mix the files of
    // every game that forgot its own.
    if (!folderName.empty() && folderName != "/") {
        FolderName() = folderName;
        if (FolderName().back() != '/') FolderName().push_back('/');
    }
    std::memcpy(g_identity, identity, sizeof g_identity);
}

const std::string& PlayerFolderName() { return FolderName(); }
