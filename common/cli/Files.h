#pragma once
// File-name checks and bounded reading shared by the command-line tools.
//
// - readTextFile reads a whole text input but refuses, with a message, a
//   folder, a file it cannot read and a file above a size cap (so that
//   "/dev/zero" or a wrong multi-gigabyte file ends in a message, not in an
//   exhausted memory).
// - outputNameProblem and outputOverInput run before anything is written: an
//   output name that is empty, ends with '/' or names a folder is refused, and
//   so is an output that is one of the inputs, whether by the same name, by a
//   name that resolves to it (".", "..", symbolic links, a link not yet
//   pointing at anything) or by the same device and inode (hard links).
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// Caps of the text inputs. A calibration file holds a few short lines; a
// tracking file of a day of video at 25 frames per second holds about
// 2,160,000 lines of at most ~70 bytes: well under 256 MiB.
constexpr size_t kCalibrationFileMax = 1u << 20;  // 1 MiB
constexpr size_t kTrackingFileMax = 256u << 20;   // 256 MiB

// Reads `path` whole into *text. On failure returns false with a phrase about
// the file ("is a folder, not a file", "cannot be read (No such file or
// directory)", "is larger than 1 MiB") in *why; the caller names the file.
bool readTextFile(const std::string& path, size_t maxBytes, std::string* text, std::string* why);

// "1 MiB", "256 MiB", "512 KiB".
std::string sizeText(size_t bytes);

// Drops a UTF-8 byte-order mark from the front of `text`, if there is one.
std::string_view withoutBom(std::string_view text);

// Whether two names designate the same file: the same device and inode when
// both exist, else the same absolute name once links and "." / ".." are
// resolved.
bool sameFile(const std::string& a, const std::string& b);

// Why `name` cannot be written as an output file, or an empty string.
std::string outputNameProblem(const std::string& name);

// The first output that is also an input, as "OUTPUT is the input INPUT: it
// would be overwritten", or an empty string. Empty names are skipped.
std::string outputOverInput(const std::vector<std::string>& outputs, const std::vector<std::string>& inputs);

} // namespace cli
