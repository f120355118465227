#include "propose/FaceSearch.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

namespace vestiga::propose {

const char* const kDefaultCascade = "haarcascade_frontalface_alt2.xml";

std::vector<std::string> cascadeSearchPath()
{
    std::vector<std::string> dirs;
    if (const char* env = std::getenv("VESTIGA_CASCADE_DIR"); env && *env)
        dirs.emplace_back(env);
    for (const char* d : {"/usr/share/opencv4/haarcascades", "/usr/local/share/opencv4/haarcascades",
                          "/usr/share/opencv/haarcascades", "/usr/local/share/opencv/haarcascades"})
        dirs.emplace_back(d);
    return dirs;
}

std::string findCascadeFile(const std::string& name, std::string* error)
{
    std::string searched;
    for (const std::string& dir : cascadeSearchPath()) {
        const std::string path = dir + "/" + name;
        if (std::ifstream(path).good())
            return path;
        searched += (searched.empty() ? "" : ", ") + dir;
    }
    if (error)
        *error = "the face detector " + name + " is not installed (searched " + searched
                 + "); install the Debian package opencv-data or set VESTIGA_CASCADE_DIR";
    return std::string();
}

bool detectFaces(const cv::Mat& bgr, const std::string& cascadeFile, double minFaceShare,
                 std::vector<cv::Rect>* faces, std::string* error)
{
    cv::CascadeClassifier cascade;
    if (!cascade.load(cascadeFile)) {
        if (error)
            *error = "the face detector " + cascadeFile + " cannot be loaded";
        return false;
    }
    cv::Mat grey;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    cv::equalizeHist(grey, grey);
    const int minSide = std::max(12, static_cast<int>(std::lround(minFaceShare * bgr.rows)));
    std::vector<cv::Rect> found;
    // Five neighbouring detections at least: isolated hits on textured walls
    // rarely gather that many.
    cascade.detectMultiScale(grey, found, 1.1, 5, cv::CASCADE_SCALE_IMAGE, cv::Size(minSide, minSide));
    // The detector gathers its hits on several threads: a full order makes
    // the list the same on every run.
    std::sort(found.begin(), found.end(), [](const cv::Rect& a, const cv::Rect& b) {
        if (a.area() != b.area())
            return a.area() > b.area();
        return a.y != b.y ? a.y < b.y : a.x < b.x;
    });
    *faces = found;
    return true;
}

cv::Mat genericSkinMask(const cv::Mat& bgr)
{
    cv::Mat ycc;
    cv::cvtColor(bgr, ycc, cv::COLOR_BGR2YCrCb);
    cv::Mat mask;
    cv::inRange(ycc, cv::Scalar(55, 135, 85), cv::Scalar(255, 180, 135), mask);
    return mask;
}

namespace {

// The outermost pixels of each row of a region's mask (a sub-picture of its
// bounding box); -1 for an empty row.
void rowExtents(const cv::Mat& mask, std::vector<int>* left, std::vector<int>* right)
{
    left->assign(mask.rows, -1);
    right->assign(mask.rows, -1);
    for (int r = 0; r < mask.rows; ++r) {
        const uchar* p = mask.ptr<uchar>(r);
        for (int c = 0; c < mask.cols; ++c)
            if (p[c]) {
                if ((*left)[r] < 0)
                    (*left)[r] = c;
                (*right)[r] = c;
            }
    }
}

// The face part of a skin region: rows from its top to the chin. A face is
// close to an ellipse; its sides, from the top down to where the region is
// still 70 % of its widest, are fitted with one, whose lowest point is the
// chin. The neck below, of the same colour but narrower, is left out.
int chinRow(const std::vector<int>& left, const std::vector<int>& right)
{
    const int rows = static_cast<int>(left.size());
    int maxW = 0, widest = 0;
    for (int r = 0; r < rows; ++r)
        if (left[r] >= 0 && right[r] - left[r] + 1 > maxW) {
            maxW = right[r] - left[r] + 1;
            widest = r;
        }
    if (maxW < 4)
        return rows - 1;
    std::vector<cv::Point2f> sides;
    int lastWide = widest;
    for (int r = 0; r < rows; ++r) {
        const int w = left[r] >= 0 ? right[r] - left[r] + 1 : 0;
        if (r > widest && w < 0.7 * maxW)
            break;
        if (w >= 0.7 * maxW || r < widest) {
            if (w > 0) {
                sides.emplace_back(static_cast<float>(left[r]), static_cast<float>(r));
                sides.emplace_back(static_cast<float>(right[r]), static_cast<float>(r));
            }
            lastWide = r;
        }
    }
    // Without an ellipse, a face is about 1.5 times as long as wide at most.
    const int fallback = std::min(rows - 1, static_cast<int>(std::lround(1.5 * maxW)));
    if (sides.size() < 12)
        return fallback;
    const cv::RotatedRect e = cv::fitEllipse(sides);
    const cv::Rect2f box = e.boundingRect2f();
    const float bottom = box.y + box.height;
    if (!std::isfinite(bottom) || box.width > 3.0f * maxW || bottom < lastWide || bottom > 2.0f * rows)
        return fallback;
    return std::min(rows - 1, static_cast<int>(std::lround(bottom)));
}

// Share of a mask that its mirror image about the centre column covers.
double mirrorOverlap(const cv::Mat& mask)
{
    cv::Mat flipped;
    cv::flip(mask, flipped, 1);
    const double both = cv::countNonZero(mask & flipped);
    const double either = cv::countNonZero(mask | flipped);
    return either > 0 ? both / either : 0.0;
}

} // namespace

std::vector<SkinFace> findSkinFaces(const cv::Mat& bgr)
{
    cv::Mat skin = genericSkinMask(bgr);
    const int unit = std::max(1, std::min(bgr.cols, bgr.rows) / 160); // 3 px at 640x480
    cv::morphologyEx(skin, skin, cv::MORPH_OPEN,
                     cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * unit + 1, 2 * unit + 1)));
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(skin, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    const double minArea = bgr.total() / 1000.0;
    std::vector<SkinFace> faces;
    for (const auto& contour : contours) {
        const cv::Rect box = cv::boundingRect(contour);
        if (box.area() < minArea)
            continue;
        // The region with its holes (eyes, mouth) filled.
        cv::Mat region = cv::Mat::zeros(box.size(), CV_8U);
        cv::drawContours(region, std::vector<std::vector<cv::Point>>{contour}, 0, cv::Scalar(255), cv::FILLED,
                         cv::LINE_8, cv::noArray(), 0, -box.tl());
        std::vector<int> left, right;
        rowExtents(region, &left, &right);
        const int chin = chinRow(left, right);
        const cv::Mat face = region.rowRange(0, chin + 1);
        const cv::Rect faceBox = cv::boundingRect(face) + box.tl();
        if (faceBox.area() < minArea)
            continue;
        const double aspect = double(faceBox.height) / faceBox.width;
        if (aspect < 0.8 || aspect > 2.0)
            continue;
        SkinFace f;
        f.face = faceBox;
        f.fill = std::min(1.0, cv::countNonZero(face) / (CV_PI / 4 * faceBox.area()));
        f.symmetry = mirrorOverlap(region(cv::Rect(faceBox.tl() - box.tl(), faceBox.size())));
        if (f.fill < 0.5 || f.symmetry < 0.6)
            continue;
        // Larger, rounder, more symmetric and higher regions score more; a
        // hand low in the picture loses to the face above it.
        const double height = 1.25 - (faceBox.y + 0.5 * faceBox.height) / bgr.rows;
        f.score = std::sqrt(double(faceBox.area())) * f.fill * f.symmetry * height;
        faces.push_back(f);
    }
    std::stable_sort(faces.begin(), faces.end(), [](const SkinFace& a, const SkinFace& b) { return a.score > b.score; });
    return faces;
}

SkinColour learnSkinColour(const cv::Mat& bgr, const cv::Rect& face)
{
    SkinColour c;
    const cv::Rect centre = cv::Rect(face.x + face.width / 4, face.y + face.height / 4, std::max(1, face.width / 2),
                                     std::max(1, face.height / 2))
                            & cv::Rect(0, 0, bgr.cols, bgr.rows);
    if (centre.area() <= 0)
        return c;
    cv::Mat ycc;
    cv::cvtColor(bgr(centre), ycc, cv::COLOR_BGR2YCrCb);
    const cv::Mat generic = genericSkinMask(bgr(centre));
    // The skin-coloured pixels of the centre; all of them when too few are
    // (unusual light), so that the face's own colour still decides.
    const bool useAll = cv::countNonZero(generic) < centre.area() / 5;
    double n = 0, s1 = 0, s2 = 0, s11 = 0, s22 = 0, s12 = 0;
    for (int y = 0; y < ycc.rows; ++y) {
        const cv::Vec3b* p = ycc.ptr<cv::Vec3b>(y);
        const uchar* m = generic.ptr<uchar>(y);
        for (int x = 0; x < ycc.cols; ++x) {
            if (!useAll && !m[x])
                continue;
            const double cr = p[x][1], cb = p[x][2];
            n += 1;
            s1 += cr;
            s2 += cb;
            s11 += cr * cr;
            s22 += cb * cb;
            s12 += cr * cb;
        }
    }
    if (n < 4)
        return c;
    c.mean = cv::Vec2d(s1 / n, s2 / n);
    // A floor of 3 levels on each deviation: a drawn face has one colour, and
    // its hands the same colour under other noise.
    const double v11 = std::max(9.0, s11 / n - c.mean[0] * c.mean[0]);
    const double v22 = std::max(9.0, s22 / n - c.mean[1] * c.mean[1]);
    double v12 = s12 / n - c.mean[0] * c.mean[1];
    v12 = std::max(-0.95 * std::sqrt(v11 * v22), std::min(0.95 * std::sqrt(v11 * v22), v12));
    c.inverseCovariance = cv::Matx22d(v11, v12, v12, v22).inv();
    c.valid = true;
    return c;
}

cv::Mat skinMask(const cv::Mat& bgr, const SkinColour& colour, double limit)
{
    cv::Mat mask = cv::Mat::zeros(bgr.size(), CV_8U);
    if (!colour.valid)
        return mask;
    cv::Mat ycc;
    cv::cvtColor(bgr, ycc, cv::COLOR_BGR2YCrCb);
    // The squared Mahalanobis distance of every (Cr, Cb) pair, tabulated once.
    std::vector<uchar> table(256 * 256);
    const cv::Matx22d& A = colour.inverseCovariance;
    for (int cr = 0; cr < 256; ++cr)
        for (int cb = 0; cb < 256; ++cb) {
            const double a = cr - colour.mean[0], b = cb - colour.mean[1];
            const double d2 = a * (A(0, 0) * a + A(0, 1) * b) + b * (A(1, 0) * a + A(1, 1) * b);
            table[cr * 256 + cb] = d2 <= limit * limit ? 255 : 0;
        }
    for (int y = 0; y < ycc.rows; ++y) {
        const cv::Vec3b* p = ycc.ptr<cv::Vec3b>(y);
        uchar* m = mask.ptr<uchar>(y);
        for (int x = 0; x < ycc.cols; ++x)
            m[x] = p[x][0] > 30 ? table[p[x][1] * 256 + p[x][2]] : 0;
    }
    return mask;
}

} // namespace vestiga::propose
