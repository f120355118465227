#pragma once
// Helpers shared by the tests of the tracking run and of vestiga-track: a
// private temporary directory, small synthetic signer videos and file reading.
#include "run/Calibration.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace vestiga::test {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Frame k of the synthetic signer: a grey-green wall, a blue shirt, a skin
// coloured head and two hands that move with k.
cv::Mat signerFrame(int k, cv::Size size);
// Writes `frames` frames of the signer as Motion-JPEG at 25 frames/s.
void writeSignerVideo(const std::string& path, int frames, cv::Size size = cv::Size(320, 240));
// The calibration that fits signerFrame (top-left origin, frame pixels).
CalibrationFile signerCalibration(cv::Size size = cv::Size(320, 240));

// Re-encodes `source` as H.264 with B-frames by the ffmpeg command line.
// False when ffmpeg is missing or fails.
bool makeH264WithBFrames(const std::string& source, const std::string& target);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);
bool fileExists(const std::string& path);
std::vector<std::string> lines(const std::string& text);

// True when the line is seven "%f " numbers and a newline-less end, exactly as
// the tracking file writes them (the newline removed by lines()).
bool isTrackingLine(const std::string& line);
std::vector<double> numbers(const std::string& line);

} // namespace vestiga::test
