#include "engine/Suivi2D.h"

#include "engine/ColourMaps.h"

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <sstream>

namespace vestiga {

namespace {

constexpr int kBins = 16;

// A 16 x 16 x 16 colour histogram over the three channels of an 8-bit,
// 3-channel picture in their stored order, each channel's 0 .. 255 cut into
// 16 bins of 16 levels, normalised to a sum of 1 (L1).
void colourHistogram(const cv::Mat& pic, cv::Mat& hist) {
    static const int channels[] = {0, 1, 2};
    static const int sizes[] = {kBins, kBins, kBins};
    static const float range[] = {0, 256};
    static const float* ranges[] = {range, range, range};
    cv::calcHist(&pic, 1, channels, cv::noArray(), hist, 3, sizes, ranges, true, false);
    cv::normalize(hist, hist, 1, 0, cv::NORM_L1);
}

// Truncation toward zero, clamped to 0 .. 255 (a NaN reads 0).
inline uchar clampNoisy(double v) {
    v = std::trunc(v);
    if (!(v >= 0))
        return 0;
    if (v >= 256)
        return 255;
    return static_cast<uchar>(v);
}

std::string fmt(float v) {
    std::ostringstream o;
    o << v;
    return o.str();
}

} // namespace

// ------------------------------------------------------------------ inputs

void Suivi2D::setSkinPic(const cv::Mat& pic) { skinPic = pic; }

void Suivi2D::setBackgroundPic(const cv::Mat& pic) { bgPic = pic; }

// --------------------------------------------------------- frame preparation

cv::Rect Suivi2D::imageArea(cv::Size frame) const {
    // Single precision, truncated toward zero.
    const float W = static_cast<float>(frame.width);
    const float H = static_cast<float>(frame.height);
    const TrackerOptions& o = opt;
    return cv::Rect(static_cast<int>(o.minX * W), static_cast<int>(o.minY * H),
                    static_cast<int>((o.maxX - o.minX) * W), static_cast<int>((o.maxY - o.minY) * H));
}

int Suivi2D::resizedHeight(cv::Size frame) const {
    // H * (resW * area height fraction) / (W * area width fraction), single
    // precision: the aspect ratio of the fractional area, not of the rounded
    // pixel rectangle.
    const float W = static_cast<float>(frame.width);
    const float H = static_cast<float>(frame.height);
    const float num = H * (static_cast<float>(opt.resizeWidth) * (opt.maxY - opt.minY));
    const float den = W * (opt.maxX - opt.minX);
    const float h = num / den;
    if (!(h > -1.0f && h < 2147483520.0f))
        return 0;
    return static_cast<int>(h);
}

std::string Suivi2D::checkROI(cv::Size frame) const {
    if (frame.width <= 0 || frame.height <= 0)
        return "the frame is empty";
    const float minX = opt.minX, minY = opt.minY, maxX = opt.maxX, maxY = opt.maxY;
    const int resW = opt.resizeWidth;
    const bool finite = std::isfinite(minX) && std::isfinite(minY) && std::isfinite(maxX) && std::isfinite(maxY);
    if (!finite || minX < 0 || minY < 0 || maxX > 1 || maxY > 1 || !(minX < maxX) || !(minY < maxY))
        return "image area (" + fmt(minX) + ", " + fmt(minY) + ") to (" + fmt(maxX) + ", " + fmt(maxY)
               + ") is not a non-empty area inside the frame (fractions 0 <= min < max <= 1)";
    if (resW < 1)
        return "the processed picture width " + std::to_string(resW) + " must be at least 1 pixel";
    const cv::Rect r = imageArea(frame);
    if (r.width < 1 || r.height < 1)
        return "image area covers " + std::to_string(r.width) + " x " + std::to_string(r.height)
               + " pixels of the frame; it needs at least one pixel each way";
    if ((r & cv::Rect(0, 0, frame.width, frame.height)) != r)
        return "image area extends beyond the " + std::to_string(frame.width) + " x "
               + std::to_string(frame.height) + " frame";
    const int h = resizedHeight(frame);
    if (h < 6)
        return "image area gives a processed picture of " + std::to_string(resW) + " x " + std::to_string(h)
               + " pixels; at least 6 rows are needed (mark a taller area)";
    if (h > resW)
        return "image area is taller than wide (processed picture " + std::to_string(resW) + " x "
               + std::to_string(h) + "); the skin model needs an area at least as wide as tall";
    return std::string();
}

bool Suivi2D::setCurPicture(const cv::Mat& frame) {
    if (frame.empty() || frame.type() != CV_8UC3 || !checkROI(frame.size()).empty())
        return false;
    curPic = frame;
    const cv::Rect area = imageArea(curPic.size());
    resW = opt.resizeWidth;
    resH = resizedHeight(curPic.size());
    // Assigning fresh images releases those of an earlier call.
    curResPic = cv::Mat(resH, resW, CV_8UC3, cv::Scalar::all(0));
    bgMap = cv::Mat(resH, resW, CV_8UC1, cv::Scalar(0));
    skinMap = cv::Mat(resH, resW, CV_8UC1, cv::Scalar(0));
    const int depth = integralDepth(cv::Size(resW, resH));
    intSkinMap = cv::Mat(resH + 1, resW + 1, CV_MAKETYPE(depth, 1), cv::Scalar(0));
    intBgMap = cv::Mat(resH + 1, resW + 1, CV_MAKETYPE(depth, 1), cv::Scalar(0));
    // The first frame alone is scaled bicubically.
    cv::resize(curPic(area), curResPic, curResPic.size(), 0, 0, cv::INTER_CUBIC);
    return true;
}

// ------------------------------------------------------------ per-frame maps

bool Suivi2D::createAutoBgPic() {
    if (curResPic.empty())
        return false;
    // The person stands in the middle half: replace it by the outer quarters,
    // the left quarter into the second quarter and the right quarter
    // (from column 3 resW / 4) into the columns from resW / 2.
    bgPic = curResPic.clone();
    const int q = resW / 4;
    if (q > 0) {
        curResPic.colRange(0, q).copyTo(bgPic.colRange(q, 2 * q));
        const int from = (3 * resW) / 4;
        curResPic.colRange(from, from + q).copyTo(bgPic.colRange(resW / 2, resW / 2 + q));
    }
    return true;
}

bool Suivi2D::computeSkBgMaps() {
    if (curPic.empty() || curResPic.empty() || skinLikHist.empty() || bgLikHist.empty())
        return false;
    const cv::Rect area = imageArea(curPic.size());
    if (area.width < 1 || area.height < 1 || (area & cv::Rect(0, 0, curPic.cols, curPic.rows)) != area)
        return false;
    // Later frames are scaled with the nearest neighbour (this also wipes the
    // estimates drawn into the processed picture at the previous frame); the
    // maps and their integral images are made in the same pass, through the
    // colour tables as lookups by bin (rebuilt whenever a table's values
    // differ from those they were built from).
    if (nearest_.from != area.size() || nearest_.to != curResPic.size())
        nearestMap(area.size(), curResPic.size(), nearest_);
    skinLookup_.update(skinLikHist);
    bgLookup_.update(bgLikHist);
    mapsAndIntegrals(curPic(area), nearest_, skinLookup_.table, bgLookup_.table, curResPic, skinMap, bgMap,
                     intSkinMap, intBgMap);
    return true;
}

// --------------------------------------------------------- likelihood tables

bool Suivi2D::computeLikelihoodHisto() {
    if (skinPic.empty() || skinPic.type() != CV_8UC3 || bgPic.empty() || bgPic.type() != CV_8UC3
        || curResPic.empty() || resH < 1 || resH > resW)
        return false;

    cv::Mat skinH, bgH, noisyH, frameH;
    colourHistogram(skinPic, skinH);
    colourHistogram(bgPic, bgH);

    // Noise on the value channel (and on hue and saturation when their
    // deviations are not 0) of the hue-saturation-value form of the
    // background: it widens the background colours by the brightness changes
    // the scene will show. The conversion reads channel 0 as red; the
    // pictures are stored blue first, and the reverse conversion undoes the
    // same exchange.
    cv::Mat T;
    cv::cvtColor(bgPic, T, cv::COLOR_RGB2HSV);
    const double dh = opt.noiseH, ds = opt.noiseS, dv = opt.noiseV;
    for (int x = 0; x < T.cols; ++x) {
        for (int y = 0; y < T.rows; ++y) {
            cv::Vec3b& c = T.at<cv::Vec3b>(y, x);
            const double nh = boxMuller(rng);
            const double ns = boxMuller(rng);
            const double nv = boxMuller(rng);
            c[0] = clampNoisy(c[0] + nh * dh);
            c[1] = clampNoisy(c[1] + ns * ds);
            c[2] = clampNoisy(c[2] + nv * dv);
        }
    }
    cv::cvtColor(T, bgPic, cv::COLOR_HSV2RGB); // same size and type: in place
    colourHistogram(bgPic, noisyH);
    colourHistogram(curResPic, frameH);

    // Prior share of skin in the picture: head box and two hands, plus the
    // uncovered forearms, divided by the whole-number ratio resW / resH.
    const float haw = opt.handWidth, bSc = opt.bodyScale;
    const float headHands = opt.headHeight * opt.headWidth + 2 * haw * haw;
    const double forearm = 0.4 * haw * bSc * (1.0 - static_cast<double>(opt.sleeves));
    const float p = static_cast<float>((headHands + forearm) / static_cast<double>(resW / resH));
    // Background weight.
    const float q = bSc * bSc * 0.5f;
    const float thres = static_cast<float>(opt.foregroundThreshold);

    const int sizes[] = {kBins, kBins, kBins};
    skinLikHist.create(3, sizes, CV_32F);
    bgLikHist.create(3, sizes, CV_32F);
    for (int i = 0; i < kBins; ++i) {
        for (int j = 0; j < kBins; ++j) {
            for (int k = 0; k < kBins; ++k) {
                const double S = skinH.at<float>(i, j, k);
                const double B = bgH.at<float>(i, j, k);
                const double N = noisyH.at<float>(i, j, k);
                const float F = frameH.at<float>(i, j, k);
                // Skin: Bayes' rule P(skin | colour) = P(colour | skin) p / P(colour).
                float v;
                if (F > 0) {
                    v = static_cast<float>(S * p * 255.0 / F);
                    if (v > 255)
                        v = 255;
                } else {
                    v = S == 0 ? 255.0f : 0.0f;
                }
                skinLikHist.at<float>(i, j, k) = v;
                // Foreground: 1 - P(background | colour), with the background
                // likelihood the larger of the clean and noisy histograms.
                float fg = 0;
                if (F > 0) {
                    const double m = std::max(B, N);
                    const float t = static_cast<float>(m * q / F);
                    fg = (1 - t) * 255.0f;
                }
                bgLikHist.at<float>(i, j, k) = fg < thres ? 0.0f : fg;
            }
        }
    }
    return true;
}

} // namespace vestiga
