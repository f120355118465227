#pragma once
// The text files around the sample signer: the ground truth it is rendered
// from, the calibration the tracker is started with, and the tracking file the
// tracker writes. Readers return false with a message naming the file, the
// line and the problem; writers write a file whole or not at all.
#include "sample/SignerScene.h"

#include <string>
#include <vector>

namespace vsample {

// One line of the ground truth: frame pixels of the reference video.
struct TruthFrame {
    int frame = 0;
    cv::Point2d hand1, hand2, head, elbowR, elbowL;
};

// One line of a tracking file, in tracking units (see Accuracy.h).
struct TrackingLine {
    cv::Point2d hand1, hand2, head;
    double timeMs = 0;
};

// Ground truth: a `#` header naming the columns, then one line per frame:
// "frame h1x h1y h2x h2y headx heady eRx eRy eLx eLy".
std::string formatTruth(const std::vector<TruthFrame>& frames);
bool parseTruth(const std::string& text, const std::string& name, std::vector<TruthFrame>* out,
                std::string* error);
bool readTruth(const std::string& path, std::vector<TruthFrame>* out, std::string* error);

// Tracking file: one line per tracked frame, seven numbers (hand 1 x, y,
// hand 2 x, y, head x, y, time in ms). Non-finite coordinates ("nan", "inf")
// are kept: they mark a lost estimate.
bool parseTracking(const std::string& text, const std::string& name, std::vector<TrackingLine>* out,
                   std::string* error);
bool readTracking(const std::string& path, std::vector<TrackingLine>* out, std::string* error);

// Calibration file of the tracker: `key value` lines, `#` comments.
std::string formatCalibration(const SceneCalibration& c);
// Reads the image area (`area X,Y,W,H`) of a calibration file; other keys are
// left to the tracker.
bool parseCalibrationArea(const std::string& text, const std::string& name, cv::Rect2d* area,
                          std::string* error);
bool readCalibrationArea(const std::string& path, cv::Rect2d* area, std::string* error);

// Whole-file helpers.
bool readTextFile(const std::string& path, std::string* text, std::string* error);
// Writes through a temporary file in the same directory and renames it, so a
// failed write leaves any earlier file untouched.
bool writeTextFile(const std::string& path, const std::string& text, std::string* error);

} // namespace vsample
