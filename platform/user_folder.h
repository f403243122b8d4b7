#pragma once
// The player's own files (saves, "System.dat", "Already.dat") live in a
// per-user folder under the XDG data home.

#include <string>

namespace platform {

// $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share (the
// home from the password database when HOME is unset); empty when there is no
// home at all. No trailing "/".
std::string UserDataHome();

// Creates `path` and every missing parent; true when it is a directory at the end.
bool CreateDirectoryTree(const std::string& path);

}  // namespace platform
