#pragma once
// The command line of vestiga-track, parsed into plain values (no file is
// touched here, so that the parser can be tested and fuzzed alone).
//
//   vestiga-track VIDEO -o TRACKING
//       [--calibration FILE | --area X,Y,W,H --head X,Y,W,H --shoulders XR,YR,XL,YL
//        [--shoulder-distance D]]
//       [--reference-frame N] [--sleeves wrist|short] [--skin IMAGE] [--background IMAGE]
//       [--annotated-video FILE] [--quiet]
//       [--tracker classic|robust] [--confidence FILE.csv]
#include "run/Calibration.h"

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
    std::string confidence; // per-frame confidences, CSV
    bool help = false;
};

const char* trackUsage();

// Parses the arguments after the program name ("--opt value" or
// "--opt=value"). On failure: false and a message naming the argument. With
// --help: true and `help` set, whatever else is given.
bool parseTrackArgs(const std::vector<std::string>& args, TrackArgs* out, std::string* error);

} // namespace vestiga
