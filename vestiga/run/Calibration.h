#pragma once
// The calibration of a tracking run, in the two forms it takes:
// - CalibrationFile: what a calibration file holds and what the command line
//   takes: pixels of the reference frame, origin at its top-left corner, y down.
// - RunCalibration: what the calibration view hands to the run: the image area
//   and the head box in single precision with the origin at the bottom-left
//   corner, and the shoulder distance.
//
// File format: text, one `key value` per line, `#` starts a comment:
//   area X,Y,W,H
//   head X,Y,W,H
//   shoulders XR,YR,XL,YL        (the person's right shoulder, left in the picture, first)
//   shoulder-distance D          (optional: overrides the distance of the two points)
//   reference-frame N            (optional, default 0)
//   sleeves wrist|short          (optional, default wrist)
//   tracker classic|robust       (optional, default classic; written only for robust)
// Real numbers are written with %.17g, so that they read back bit for bit.
#include <string>

namespace vestiga {

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

// Why the calibration cannot be used on a reference frame of refWidth x
// refHeight pixels, or an empty string: an image area or head box with a size
// of 0 or less, an image area outside the frame or taller than wide, a head box
// outside the image area, a shoulder outside the frame, both shoulders at one
// point (when no distance is given) or a shoulder distance of 0 or less. The
// message starts with the key it is about ("area: ...").
std::string checkCalibration(const CalibrationFile& c, int refWidth, int refHeight);
// The same checks on what the calibration view hands to the run (bottom-left
// origin); the message names the image area, the head box or the shoulders.
std::string checkRunCalibration(const RunCalibration& r, int refWidth, int refHeight);

// A finite real number in C-locale notation, surrounding blanks allowed.
bool parseReal(const std::string& text, double* out);
// Exactly n real numbers separated by commas ("10,20.5,300,240").
bool parseReals(const std::string& text, int n, double* out);

} // namespace vestiga
