#pragma once
// The tracking file as a time series other programs read as it is (an
// annotation tool's time-series viewer, R, pandas), optionally linked into an
// annotation document:
//
//   vestiga-export TRACKING -o OUT.csv [--link-eaf DOCUMENT.eaf]
//
// Exit status: 0 done; 2 bad usage or input (nothing written or changed);
// 1 failure while writing (a CSV already written is kept).
#include <iosfwd>
#include <string>
#include <vector>

namespace vestiga {

// The CSV header line, without its newline.
extern const char* const kExportHeader;

// Converts a tracking file's text into the CSV: the header, then one row per
// tracking line, "time,h1x,h1y,h2x,h2y,headx,heady": the time in seconds (the
// line's milliseconds / 1000 with three decimals, C locale), the six
// coordinates copied as the tracking file writes them. Lines end with "\n".
// Every line must hold exactly seven finite numbers separated by blanks (a
// last line without a newline and trailing blank lines are accepted). False
// with a message naming `name` and the line otherwise, and for a file without
// any line.
bool trackingToCsv(const std::string& tracking, const std::string& name, std::string& csv,
                   std::string* error = nullptr);

// The link of `target` seen from the folder of `document` as an annotation
// tool writes it: "./NAME" beside it, "../x/NAME" elsewhere. Both paths may
// be relative to the current folder; neither needs to exist.
std::string relativeLink(const std::string& document, const std::string& target);

const char* exportUsage();

// The whole command (arguments after the program name). Messages go to
// `err`, the help text to `out`. Returns the exit status.
int runExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace vestiga
