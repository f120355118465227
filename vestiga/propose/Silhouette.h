#pragma once
// The signer's silhouette in the reference picture, and the shoulders read
// off its outline.
//
// The background is known two ways: the per-pixel median of frames spread
// over the first seconds (whatever moves, such as the arms, drops out of it),
// and the colours of the picture beside the head, where a signer filmed from
// the front is never. A pixel is foreground when it differs from the median
// frame or has a colour never seen beside the head.
#include <opencv2/core.hpp>

#include <vector>

namespace vestiga::propose {

// The per-pixel, per-channel median of equally sized 8-bit pictures (the
// lower middle value for an even count). Empty for no pictures.
cv::Mat medianPicture(const std::vector<cv::Mat>& pictures);

// 255 where the reference picture is foreground: where it differs from the
// median picture by more than motionThreshold grey levels in a channel, or
// where its colour (quantised to 8 levels per channel and widened by one step)
// never occurs in the pixels of `backgroundSample` (255 = a background pixel).
// Either source may be empty. Closed and opened to remove specks and gaps.
cv::Mat foregroundMask(const cv::Mat& reference, const cv::Mat& median, const cv::Mat& backgroundSample,
                       int motionThreshold = 30);

// The foreground found by a graph cut between colour models of the signer and
// of the background (OpenCV's GrabCut, on the picture scaled to at most 320
// pixels wide), seeded from the face: the face's centre, the neck under it and
// the middle of the chest are the signer; the picture beside the head (as
// besideHeadMask) is background; the rest is left to the cut, with a body-wide
// band under the head marked as probably the signer. Cluttered backgrounds
// that share colours with the clothes are told apart by where the colours
// lie and by the picture's edges, which a colour list alone cannot do.
// Deterministic: OpenCV's generator is reseeded for the cut and restored.
cv::Mat graphCutForeground(const cv::Mat& reference, const cv::Rect2d& face, const cv::Rect2d& head);

// The region known to be background from the head box: the rows from the top
// of the picture down to the head's bottom, beyond half a head width on either
// side of the head box.
cv::Mat besideHeadMask(cv::Size picture, const cv::Rect2d& head);

// The top of the head (hair included) above a face box: the highest row,
// at most maxRise face heights above the face, up to which the face's central
// columns are foreground without a break. The face's top when nothing is.
double headTop(const cv::Mat& foreground, const cv::Rect2d& face, double maxRise);

// The outline of the body below the head: for each row from `fromRow`, the
// distance from the midline column to the outermost foreground pixel that is
// joined to the midline (gaps up to maxGap pixels bridged) on either side, at
// most maxReach. 0 where the midline is not foreground.
struct Outline {
    int fromRow = 0;
    std::vector<double> left, right; // distances from the midline, per row
};
Outline bodyOutline(const cv::Mat& foreground, double midline, int fromRow, int rows, int maxGap, int maxReach);

// The shoulder on one side of an outline: the row where the outline turns
// most sharply from running outward to running down (the largest drop of
// its slope, measured over `span` rows above and below), among rows where the
// body is wider than minHalfWidth. Returns the row index into the outline, or
// -1 when no row turns by at least minTurn (outward pixels per row).
int shoulderRow(const std::vector<double>& side, int span, double minHalfWidth, double minTurn = 0.5);

} // namespace vestiga::propose
