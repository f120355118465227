#pragma once
// The tracking command line: argument parsing and the whole command, kept out
// of main() so that tests can drive it in process.
//
//   vestiga-track VIDEO -o TRACKING
//       [--calibration FILE | --area X,Y,W,H --head X,Y,W,H --shoulders XR,YR,XL,YL
//        [--shoulder-distance D]]
//       [--reference-frame N] [--sleeves wrist|short] [--skin IMAGE] [--background IMAGE]
//       [--annotated-video FILE] [--quiet]
//       [--tracker classic|robust] [--confidence FILE.csv]
//
// Exit status: 0 success; 2 bad usage or bad input found before the run (no
// tracking file created or changed); 1 failure during the run (the lines
// written so far are kept).
#include "run/Calibration.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace vestiga {

struct TrackArgs {
    std::string video;
    std::string tracking;
    std::string calibrationFile;
    bool hasArea = false, hasHead = false, hasShoulders = false, hasShoulderDistance = false;
    double area[4] = {0, 0, 0, 0};
    double head[4] = {0, 0, 0, 0};
    double shoulders[4] = {0, 0, 0, 0};
    double shoulderDistance = 0;
    bool hasReferenceFrame = false;
    int referenceFrame = 0;
    bool hasSleeves = false;
    bool sleevesToWrist = true;
    std::string skin;
    std::string background;
    std::string annotatedVideo;
    bool quiet = false;
    bool hasTracker = false; // overrides the calibration file's method
    TrackerMethod tracker = TrackerMethod::Classic;
    std::string confidence;  // per-frame confidences, CSV
    bool help = false;
};

enum TrackExit { kTrackOk = 0, kTrackRunFailed = 1, kTrackBadInput = 2 };

const char* trackUsage();

// Parses the arguments after the program name ("--opt value" or
// "--opt=value"). On failure: false and a message naming the argument.
bool parseTrackArgs(const std::vector<std::string>& args, TrackArgs* out, std::string* error);

// The whole command. Messages go to `err`; progress too when `progress` is
// true (standard error is a terminal) and --quiet was not given. Returns the
// exit status.
int runTrackCommand(const std::vector<std::string>& args, std::ostream& err, bool progress);

} // namespace vestiga
