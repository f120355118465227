#pragma once
// Paths as plain strings, '/'-separated (POSIX).
#include <string>

namespace base {

// The folder a path names its file in: the text before the last '/', "/" for
// a file at the root, "." for a bare name. "a/b.jpg" -> "a", "/x" -> "/",
// "x" -> ".". A trailing '/' is part of the folder ("a/" -> "a").
std::string folderOf(const std::string& path);

// True when path names an existing folder (symbolic links followed).
bool isFolder(const std::string& path);

} // namespace base
