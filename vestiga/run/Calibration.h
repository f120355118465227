#pragma once
// The calibration of a tracking run, in the two forms it takes:
// - CalibrationFile: what a calibration file holds and what the command line
//   takes: pixels of the reference frame, origin at its top-left corner, y down.
// - RunCalibration: what the calibration view hands to the run: the image area
//   and the head box in single precision with the origin at the bottom-left
//   corner, and the shoulder distance.
//
// File format: text (UTF-8, a byte-order mark allowed), one `key value` per
// line, `#` starts a comment:
//   area X,Y,W,H
//   head X,Y,W,H
//   shoulders XR,YR,XL,YL        (the person's right shoulder, left in the picture, first)
//   shoulder-distance D          (optional: overrides the distance of the two points)
//   reference-frame N            (optional, default 0)
//   sleeves wrist|short          (optional, default wrist)
//   tracker classic|robust       (optional, default classic; written only when robust)
// Real numbers are written with %.17g, so that they read back bit for bit.
#include <string>

namespace vestiga {

// The tracking method a calibration asks for. The classic method is the
// default and the one every file without a `tracker` line means.
enum class TrackerMethod { Classic, Robust };

struct CalibrationFile {
    double area[4] = {0, 0, 0, 0};      // X, Y, W, H
    double head[4] = {0, 0, 0, 0};      // X, Y, W, H
    double shoulders[4] = {0, 0, 0, 0}; // XR, YR, XL, YL
    bool hasShoulderDistance = false;
    double shoulderDistance = 0;
    int referenceFrame = 0;
    bool sleevesToWrist = true;
    TrackerMethod tracker = TrackerMethod::Classic;
};

struct RunCalibration {
    float cx = 0, cy = 0, cw = 0, ch = 0; // image area, bottom-left origin
    float hx = 0, hy = 0, hw = 0, hh = 0; // head box, bottom-left origin
    float dShould = 0;                     // shoulder distance, reference pixels
    bool sleevesToWrist = true;            // first row of the sleeve choice
    TrackerMethod tracker = TrackerMethod::Classic;
};

// Parses the text of a calibration file. On failure returns false with a
// message naming the line and the problem.
bool parseCalibration(const std::string& text, CalibrationFile* out, std::string* error);
bool readCalibrationFile(const std::string& path, CalibrationFile* out, std::string* error);
std::string formatCalibration(const CalibrationFile& c);
// Writes the file whole or not at all (a failed write keeps the old file).
bool writeCalibrationFile(const std::string& path, const CalibrationFile& c, std::string* error);

// The rectangles turned to a bottom-left origin for a reference picture of
// height refHeight (cy = refHeight - (Y + H) in double precision, narrowed to
// single), and the shoulder distance: the given one, or the single-precision
// distance between the two shoulder points.
RunCalibration toRunCalibration(const CalibrationFile& c, int refHeight);
// The inverse, for saving what the calibration view computed: the rectangles
// turned to a top-left origin, the distance kept as shoulder-distance.
CalibrationFile toCalibrationFile(const RunCalibration& r, int refHeight, const double shoulders[4],
                                  int referenceFrame);

// The one rule for a usable calibration on a reference frame of refWidth x
// refHeight pixels, checked in this order:
//   AreaEmpty            the image area's width or height is not above 0
//   AreaOutsideFrame     the image area leaves the frame
//   AreaTallerThanWide   the tracker scales the area to 400 columns and needs
//                        at least as many columns as rows
//   HeadEmpty            the head box's width or height is not above 0
//   HeadOutsideArea      the head box leaves the image area
//   ShoulderOutsideFrame a shoulder point leaves the frame (edges included)
//   ShouldersTogether    no distance given and both shoulder points coincide
//   ShoulderDistance     the given shoulder distance is not above 0
// Comparisons are written so that a NaN fails them. The command line and the
// window turn the reason into their own words.
enum class CalibrationFault {
    None,
    AreaEmpty,
    AreaOutsideFrame,
    AreaTallerThanWide,
    HeadEmpty,
    HeadOutsideArea,
    ShoulderOutsideFrame,
    ShouldersTogether,
    ShoulderDistance,
};

struct CalibrationCheck {
    CalibrationFault fault = CalibrationFault::None;
    // The file key the fault is about: "area", "head", "shoulders" or
    // "shoulder-distance"; empty when the calibration is usable.
    std::string key;
    // ShoulderOutsideFrame: 0 for the right shoulder, 1 for the left one.
    int shoulder = -1;
    bool ok() const { return fault == CalibrationFault::None; }
};

CalibrationCheck validateCalibration(const CalibrationFile& c, int refWidth, int refHeight);
// The same rule on what the run takes (bottom-left origin). A run calibration
// carries no shoulder points, so only the distance is checked for them; the
// turn to a top-left origin is exact for single-precision values.
CalibrationCheck validateCalibration(const RunCalibration& r, int refWidth, int refHeight);

// validateCalibration in the words of the command line: the message starts
// with the key it is about ("area: ..."), or is empty when usable.
std::string checkCalibration(const CalibrationFile& c, int refWidth, int refHeight);
// validateCalibration in the words of the run (bottom-left numbers): the
// message names the image area, the head box or the shoulder distance.
std::string checkRunCalibration(const RunCalibration& r, int refWidth, int refHeight);

// A number of pixels in decimal notation (finite, within -1e6..1e6, no
// hexadecimal), surrounding blanks allowed.
bool parseReal(const std::string& text, double* out);
// Exactly n real numbers separated by commas ("10,20.5,300,240").
bool parseReals(const std::string& text, int n, double* out);

} // namespace vestiga
