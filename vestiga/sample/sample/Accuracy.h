#pragma once
// Accuracy of a tracking file against the sample's ground truth.
//
// Tracking units: the tracker works on the processed picture, the image area
// scaled to 400 pixels wide, and writes x = (px - 200) / R and y = py / R with
// R = areaH * 400 / areaW, the processed picture's height. So the top-centre
// of the image area is (0, 0) and its bottom-centre (0, 1): one unit is the
// image area's height, and an error of 0.1 is a tenth of it.
//
// Tracking line i (counted from 1) is video frame i: frame 0 is the reference
// frame, which is not tracked. A tracking file may stop before the truth.
#include "sample/SampleFiles.h"

#include <string>
#include <vector>

namespace vsample {

// Conversion of frame pixels to tracking units for one image area.
struct TrackingUnits {
    explicit TrackingUnits(const cv::Rect2d& area);
    // The frame point (pixel centres at whole coordinates) in processed
    // pixels. The scaling to the processed picture maps the pixel grid's
    // edges onto each other, so pixel centres move by half a pixel on both
    // sides.
    cv::Point2d toProcessed(const cv::Point2d& p) const;
    // The same in tracking units.
    cv::Point2d fromFrame(const cv::Point2d& p) const;

    cv::Rect2d area;
    double scale; // processed pixels per frame pixel: 400 / areaW
    float R;      // processed picture height, single precision as the tracker computes it
};

// Error statistics of one tracked point over the frames. Non-finite errors
// (lost estimates) sort last: they count in the median and percentile, never
// within the tolerance, and make the mean infinite.
struct ErrorStats {
    int count = 0;
    int lost = 0;           // frames with a non-finite estimate
    double mean = 0;
    double median = 0;
    double p90 = 0;         // 90th percentile, linear between order statistics
    double within = 0;      // share of frames with error < tolerance
};

// Percentile q (0..1) of sorted values, interpolating linearly between the
// order statistics at positions floor(q (n-1)) and ceil(q (n-1)).
double percentile(const std::vector<double>& sorted, double q);
ErrorStats errorStats(std::vector<double> errors, double tolerance);

struct Evaluation {
    int frames = 0;          // frames compared
    int truthFrames = 0;
    int trackingLines = 0;
    double tolerance = 0.1;
    ErrorStats hand1, hand2, head;
    // Hand identity: a frame is swapped when the tracked hands lie nearer the
    // truth exchanged than as labelled (sum of both distances). `swaps` counts
    // the maximal runs of swapped frames.
    int swaps = 0;
    int swappedFrames = 0;
    double swappedShare = 0;
    std::vector<double> hand1Errors, hand2Errors, headErrors; // per compared frame
    std::vector<char> swapped;                                // per compared frame
};

// Compares the tracking lines with the truth (truth[i] is frame i). Fails when
// the tracking file has more lines than the truth has tracked frames.
bool evaluate(const std::vector<TruthFrame>& truth, const std::vector<TrackingLine>& tracking,
              const cv::Rect2d& area, Evaluation* out, std::string* error, double tolerance = 0.1);

// Runs of swapped frames longer than `minFrames` frames.
int longSwaps(const Evaluation& e, int minFrames);

std::string formatEvaluationText(const Evaluation& e);

// One row of a summary over a set of videos.
struct SetRow {
    std::string name;
    Evaluation eval;
};
// A table, one line per video (hands and head within the tolerance, their
// medians, swaps and swaps longer than 5 frames), then the worst figure of
// each column over the set.
std::string formatSetSummary(const std::vector<SetRow>& rows);
std::string formatEvaluationJson(const Evaluation& e);

} // namespace vsample
