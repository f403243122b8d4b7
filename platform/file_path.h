#pragma once
// Game data names use "\\" and were made on a file system that ignores letter
// case ("Start.qvs" and "start.qvs" name the same script). This maps such a
// name onto the Linux file system.

#include <string>
#include <string_view>

namespace platform {

// "\\" becomes "/". When that path does not exist as written, each component
// is looked up in its folder ignoring the case of ASCII letters (an exact
// match is preferred, then the first match in byte order). Returns the path
// that exists, or the "/" form when nothing matches, so that opening it fails
// with the name the caller meant. "." and ".." are kept as they are.
std::string ResolveLoosePath(std::string_view name);
// Only the separator mapping: every "\\" becomes "/".
std::string ToSlashPath(std::string_view name);

}  // namespace platform
