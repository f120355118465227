#pragma once
// Replacing a file whole or not at all. The new content is written to a
// temporary file beside the target (same folder, hence same file system),
// created with O_EXCL so that no other writer or stale file can be written
// through, flushed to disk with fsync, and renamed over the target (the
// folder is flushed after the rename so that the new entry lasts): rename is
// atomic, so a reader sees either the old file or the complete new one, and a
// failure at any point (cannot create, short write, disk full, fsync, rename)
// leaves the old file as it was and removes the temporary file.
//
// A new file is created with mode 0666 minus the umask, like any new file; a
// file that is replaced keeps its permission bits.
#include <cstddef>
#include <functional>
#include <string>

namespace base {

// Writes all `size` bytes to the descriptor, retrying after interruptions and
// short writes. False with errno set on failure.
bool writeAll(int fd, const void* data, size_t size);

// Writes the content through `write`, which receives the temporary file's
// descriptor and returns false (with a reason in *why, errno kept when it is
// a system error) when it could not write. On failure returns false with the
// reason in *error, in the form "cannot create a temporary file in FOLDER
// (Permission denied)"; the caller names the file.
using ContentWriter = std::function<bool(int fd, std::string* why)>;
bool replaceFile(const std::string& path, const ContentWriter& write, std::string* error = nullptr);

// The same with the whole content at hand (text or encoded bytes).
bool replaceFile(const std::string& path, const void* data, size_t size, std::string* error = nullptr);
bool replaceFile(const std::string& path, const std::string& content, std::string* error = nullptr);

} // namespace base
