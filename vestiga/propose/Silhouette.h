#pragma once
// The signer's silhouette in the reference picture, and the shoulders read
// off its upper edge.
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
// of the picture down to the head's middle, beyond half a head width on either
// side of the head box. It stops above the chin because a shrugged shoulder or
// an arm held out sideways can reach up to it.
cv::Mat besideHeadMask(cv::Size picture, const cv::Rect2d& head);

// The top of the head (hair included) above a face box: the highest row,
// at most maxRise face heights above the face, up to which the face's central
// columns are foreground without a break. The face's top when nothing is.
double headTop(const cv::Mat& foreground, const cv::Rect2d& face, double maxRise);

// The sides of the head around a face box: over the rows from a tenth of the
// face's height above it to three fifths of the way down, the foreground run
// through the face's middle column (gaps of a twentieth of the face's width
// bridged, at most a face width beyond either side of the box); the left side
// is the tenth percentile of the runs' left ends, the right the ninetieth of
// their right ends (the widest rows, where hair or ears stand out, without a
// stray row). False when fewer than half of those rows have the middle column
// in the foreground.
bool headSides(const cv::Mat& foreground, const cv::Rect2d& face, double* left, double* right);

// The last foreground column of the run through `from` on one row (8-bit,
// non-zero = foreground), walking by `step` (-1 or +1) within lo..hi and
// bridging gaps of up to maxGap background pixels; `from` itself when the
// next pixels are background.
int runEnd(const uchar* row, int from, int step, int lo, int hi, int maxGap);

// The upper edge of the body on one side of the midline, seen from above:
// for each distance d = 0..maxReach from the midline column (toward smaller x
// for step -1, larger x for step +1), the first foreground row at or below
// fromRow, counted from fromRow; `rows` where the column has none down to
// fromRow + rows. A running median over five columns removes single-column
// notches and spikes.
std::vector<double> topEdge(const cv::Mat& foreground, double midline, int step, int fromRow, int rows,
                            int maxReach);

// The shoulder on one side: the distance from the midline, between `from` and
// `to`, where the upper edge turns most sharply from running level (or
// rising) to running down - the largest increase of its slope, measured over
// `span` columns inside and outside. Slopes are counted up to 2 rows a column
// either way, so that the body's outer edge beyond the arm, where the edge
// falls off the picture, does not outweigh the shoulder; among equal capped
// turns the sharpest uncapped one wins, then the first. Returns -1 when
// nothing turns down by at least minTurn (rows per column), such as a
// shoulder under an arm held out level or raised.
int shoulderColumn(const std::vector<double>& top, int from, int to, int span, double minTurn = 0.5);

} // namespace vestiga::propose
