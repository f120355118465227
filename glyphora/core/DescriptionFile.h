#pragma once
// The sign description file (NAME.sgn, one text line) and the tracking export
// (a profile of hand 1's movement around the sign, printed at every picture
// save). Numbers are written as C's "%d" and "%f" in the C locale, whatever
// the program's locale.
#include "core/SignDescription.h"
#include "media/MovieTime.h"

#include <array>
#include <cstdio>
#include <string>

namespace glyphora {

class TrackingTable;

// State (0 off, 1 on) of the cells of the configuration matrix: 5 rows of 10
// columns, configuration[row][column]. All 0 when none was reported.
using ConfigurationMatrix = std::array<std::array<int, 10>, 5>;

struct DescriptionInputs {
    std::string videoFile;        // full path of the video
    media::MovieTime begin, end;  // current times of the begin and end views
    ConfigurationMatrix configuration{};
    SignDescription values;
};

// The two relative positions (fields 9 and 10) as they are written:
// symCat 1: (moyrx - moyhx, moyry - moyhy), (moylx - moyrx, moyry - moyly);
// symCat 2: (moylx - moyhx, moyly - moyhy), (moylx - moyrx, moyly - moyry);
// others:   ((moylx + moyrx) * 0.5 - moyhx, (moyly + moyry) * 0.5 - moyhy),
//           (moyrx - moylx, |moyly - moyry|).
std::array<double, 4> relativePositions(const SignDescription& d);

// The description line, byte for byte: video name (after the last "/", the
// whole path when there is none), begin and end in tenths of a second, the 50
// configuration digits (row i mod 5, column i div 5), movCat, symCat,
// symAngle, orientation, amplitude and the two relative positions; a blank
// after every field but the digits, no newline at the end.
// Returns false with a message when the begin time's scale is not positive.
bool descriptionText(const DescriptionInputs& in, std::string& text, std::string* error = nullptr);

// The console echo of the relative positions, "%f %f %f %f \n", written when
// symCat is 1; empty otherwise.
std::string descriptionConsoleLine(const SignDescription& d);

// Writes exportName + ".sgn" (through a temporary file renamed over it, so an
// existing file is never left half written) and, when symCat is 1, the
// console line to `console` (if not null). Refuses an empty exportName (no
// picture saved yet) with a message; a file that cannot be written is
// reported with its name.
bool saveDescription(const std::string& exportName, const DescriptionInputs& in,
                     std::string* error = nullptr, std::FILE* console = stdout);

// The tracking export for the sign from `begin` to `end`, lines by `rate`:
// "\n", "legth : %f \n" with the length L in lines, then 100 samples "%f "
// (no final newline): the detrended position of hand 1 projected on its
// mean direction inside the sign, 20 samples per sign length, from two
// lengths before the sign's start to just under three after it. Positions
// are clamped to lines 1..n. When the direction is undefined every sample is
// "0.000000". Returns false with a message when no tracking is loaded or a
// time's scale is not positive.
bool trackingExportText(const TrackingTable& table, const media::MovieTime& begin,
                        const media::MovieTime& end, float rate, std::string& text,
                        std::string* error = nullptr);
bool exportTracking(std::FILE* out, const TrackingTable& table, const media::MovieTime& begin,
                    const media::MovieTime& end, float rate, std::string* error = nullptr);

// "%f" of C in the C locale (six decimals); non-finite values give "0.000000".
std::string formatFixed6(double v);

} // namespace glyphora
