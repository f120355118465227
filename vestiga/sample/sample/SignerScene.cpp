#include "sample/SignerScene.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <random>

namespace vsample {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Body geometry (frame pixels). The shoulders are the arm joints.
const cv::Point3d kShoulderR(230, 216, 0);
const cv::Point3d kShoulderL(410, 216, 0);
constexpr double kUpperArm = 140;   // shoulder to elbow
constexpr double kLowerArm = 150;   // elbow to hand centre
constexpr double kForearm = 122;    // elbow to wrist (end of the sleeve)
constexpr double kUpperWidth = 38;  // sleeve thickness of the upper arm
constexpr double kLowerWidth = 32;  // sleeve thickness of the forearm
constexpr double kHandAlong = 30;   // hand half-length, along the forearm
constexpr double kHandAcross = 23;  // hand half-width
constexpr double kFaceA = 40, kFaceB = 52; // face ellipse half-axes
const cv::Point2d kHeadRest(320, 120);

// Colours, blue-green-red. Skin is reddish (high red, mid green, lower blue);
// shirt a dark blue; the wall a muted blue-grey; none share a colour bin of
// 16 levels per channel with another in the red and blue channels.
const cv::Scalar kSkin(118, 150, 205);
const cv::Scalar kSkinLight(126, 158, 213);
const cv::Scalar kNeck(104, 133, 182);
const cv::Scalar kShirt(100, 52, 32);
const cv::Scalar kSleeve(108, 58, 36);
const cv::Scalar kSleeveEdge(82, 42, 26);
const cv::Scalar kHair(34, 44, 62);
const cv::Scalar kEye(40, 36, 34);
const cv::Scalar kMouth(92, 96, 168);

// Hand targets of the script (x, y, z): z is toward the camera.
const cv::Point3d kRest1(262, 428, 40), kRest2(378, 428, 40);
const cv::Point3d kSign1(250, 300, 50), kSign2(390, 300, 50);
const cv::Point3d kLow2(392, 345, 50);
const cv::Point3d kHigh1(200, 178, 60), kHigh2(440, 178, 60);
const cv::Point3d kMid1(250, 290, 50), kMid2(390, 290, 50);
const cv::Point3d kShift(25, -30, 0);

double ease(double s) {
    s = std::min(1.0, std::max(0.0, s));
    return 0.5 - 0.5 * std::cos(kPi * s);
}

cv::Point3d lerp(const cv::Point3d& a, const cv::Point3d& b, double s) { return a + (b - a) * s; }

cv::Point2d xy(const cv::Point3d& p) { return cv::Point2d(p.x, p.y); }

// Hand targets at script frame f (0 <= f < kScriptFrames).
void handTargets(int f, cv::Point3d& h1, cv::Point3d& h2) {
    if (f < 15) { // rest
        h1 = kRest1;
        h2 = kRest2;
    } else if (f < 40) { // both hands rise into the signing space
        double e = ease((f - 15) / 25.0);
        h1 = lerp(kRest1, kSign1, e);
        h2 = lerp(kRest2, kSign2, e);
    } else if (f < 90) { // two mirrored circles of each hand, inward and up first
        double t = 2.0 * kPi * 2.0 * (f - 40) / 50.0;
        double r = 30;
        h1 = kSign1 + cv::Point3d(r * std::sin(t), -r * (1.0 - std::cos(t)), 0);
        h2 = kSign2 + cv::Point3d(-r * std::sin(t), -r * (1.0 - std::cos(t)), 0);
    } else if (f < 130) { // hand 1 back and forth (inward), hand 2 goes down and holds
        double s = (f - 90) / 40.0;
        h1 = kSign1 + cv::Point3d(45 * (0.5 - 0.5 * std::cos(2.0 * kPi * 2.0 * s)), 0, 0);
        h2 = lerp(kSign2, kLow2, ease(s * 4.0));
    } else if (f < 165) { // both hands rise in arcs, bulging inward, to beside the head
        double e = ease((f - 130) / 35.0);
        double bulge = 35 * std::sin(kPi * e);
        h1 = lerp(kSign1, kHigh1, e) + cv::Point3d(bulge, 0, 0);
        h2 = lerp(kLow2, kHigh2, e) + cv::Point3d(-bulge, 0, 0);
    } else if (f < 180) { // hold
        h1 = kHigh1;
        h2 = kHigh2;
    } else if (f < 195) { // both come down in front of the chest
        double e = ease((f - 180) / 15.0);
        h1 = lerp(kHigh1, kMid1, e);
        h2 = lerp(kHigh2, kMid2, e);
    } else if (f < 222) { // hand 2 taps three times, hand 1 holds
        double s = (f - 195) / 27.0;
        h1 = kMid1;
        h2 = kMid2 + cv::Point3d(0, 28 * std::fabs(std::sin(3.0 * kPi * s)), 0);
    } else if (f < 236) { // both hands shift together
        double e = ease((f - 222) / 14.0);
        h1 = kMid1 + kShift * e;
        h2 = kMid2 + kShift * e;
    } else { // back to rest
        double e = ease((f - 236) / 13.0);
        h1 = lerp(kMid1 + kShift, kRest1, e);
        h2 = lerp(kMid2 + kShift, kRest2, e);
    }
}

// The wall: a blue-grey paint with soft waves, vertical panel joints every
// 80 pixels and a rail at mid height. Every structure repeats across the
// width, so that each quarter of the picture shows the same colours.
cv::Mat renderBackground() {
    cv::Mat bg(kFrameHeight, kFrameWidth, CV_8UC3);
    for (int y = 0; y < kFrameHeight; ++y) {
        cv::Vec3b* row = bg.ptr<cv::Vec3b>(y);
        for (int x = 0; x < kFrameWidth; ++x) {
            double v = 9.0 * std::sin(x * 0.11 + 2.0 * std::sin(y * 0.05)) + 7.0 * std::sin(y * 0.07 + x * 0.013);
            v += 10.0 * (1.0 - y / double(kFrameHeight)); // lighter toward the top
            if (x % 80 < 3) v -= 22.0;                      // panel joints
            if (y >= 338 && y < 346) v -= 18.0;             // rail
            double b = 150.0 + v, g = 140.0 + 0.9 * v, r = 124.0 + 0.7 * v;
            row[x] = cv::Vec3b(cv::saturate_cast<uchar>(b), cv::saturate_cast<uchar>(g),
                               cv::saturate_cast<uchar>(r));
        }
    }
    return bg;
}

// Drawing with sub-pixel positions: OpenCV takes fixed-point coordinates with
// `kShift` fractional bits.
constexpr int kShiftBits = 4;
constexpr double kScale = 1 << kShiftBits;
cv::Point fx(const cv::Point2d& p) { return cv::Point(cvRound(p.x * kScale), cvRound(p.y * kScale)); }
cv::Size fxs(double a, double b) { return cv::Size(cvRound(a * kScale), cvRound(b * kScale)); }

void fillEllipse(cv::Mat& img, const cv::Point2d& c, double a, double b, double angleDeg, const cv::Scalar& col,
                 double start = 0, double end = 360) {
    cv::ellipse(img, fx(c), fxs(a, b), angleDeg, start, end, col, cv::FILLED, cv::LINE_AA, kShiftBits);
}

void limb(cv::Mat& img, const cv::Point2d& a, const cv::Point2d& b, double width, const cv::Scalar& col) {
    cv::line(img, fx(a), fx(b), col, int(width), cv::LINE_AA, kShiftBits);
}

} // namespace

cv::Point3d solveElbow(const cv::Point3d& shoulder, const cv::Point3d& target, double l1, double l2,
                       const cv::Point3d& pole) {
    cv::Point3d v = target - shoulder;
    double d = std::sqrt(v.dot(v));
    const double dMin = std::fabs(l1 - l2) + 1e-6, dMax = l1 + l2 - 1e-6;
    cv::Point3d n = d > 1e-9 ? v * (1.0 / d) : cv::Point3d(0, 1, 0);
    d = std::min(dMax, std::max(dMin, d));
    // The elbow lies on the circle where the spheres of radius l1 about the
    // shoulder and l2 about the target meet: centre at distance a along n,
    // radius r; the pole vector, made perpendicular to n, picks the point.
    double a = (l1 * l1 - l2 * l2 + d * d) / (2.0 * d);
    double r = std::sqrt(std::max(0.0, l1 * l1 - a * a));
    cv::Point3d w = pole - n * pole.dot(n);
    double wn = std::sqrt(w.dot(w));
    if (wn < 1e-9) { // pole along the arm: any perpendicular will do
        w = std::fabs(n.x) < 0.9 ? cv::Point3d(1, 0, 0) - n * n.x : cv::Point3d(0, 1, 0) - n * n.y;
        wn = std::sqrt(w.dot(w));
    }
    return shoulder + n * a + w * (r / wn);
}

SignerScene::SignerScene(const SceneOptions& options) : options_(options), background_(renderBackground()) {
    // Gaussian noise table by the Box-Muller rule over the 32-bit Mersenne
    // twister, whose output sequence is fixed by the C++ standard (unlike the
    // standard normal distribution's).
    std::mt19937 gen(options_.seed);
    noise_.resize(1u << 20);
    for (size_t i = 0; i < noise_.size(); ++i) {
        double u1 = (double(gen()) + 1.0) / 4294967297.0;
        double u2 = double(gen()) / 4294967296.0;
        double z = std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
        double v = std::round(z * options_.noiseSigma);
        noise_[i] = int8_t(std::min(40.0, std::max(-40.0, v)));
    }
}

cv::Scalar SignerScene::skinColour() { return kSkin; }
cv::Scalar SignerScene::shirtColour() { return kShirt; }

SignerPose SignerScene::pose(int k) const {
    int f = ((k % kScriptFrames) + kScriptFrames) % kScriptFrames;
    cv::Point3d h1, h2;
    handTargets(f, h1, h2);
    const cv::Point3d poleR(-0.3, 1.0, -0.6), poleL(0.3, 1.0, -0.6);
    cv::Point3d eR = solveElbow(kShoulderR, h1, kUpperArm, kLowerArm, poleR);
    cv::Point3d eL = solveElbow(kShoulderL, h2, kUpperArm, kLowerArm, poleL);
    // A target out of reach is replaced by the reachable hand position.
    auto handOf = [](const cv::Point3d& e, const cv::Point3d& t) {
        cv::Point3d v = t - e;
        double n = std::sqrt(v.dot(v));
        return n > 1e-9 ? e + v * (kLowerArm / n) : t;
    };
    cv::Point3d hand1 = handOf(eR, h1), hand2 = handOf(eL, h2);

    SignerPose p;
    p.hand1 = xy(hand1);
    p.hand2 = xy(hand2);
    p.elbowR = xy(eR);
    p.elbowL = xy(eL);
    p.wristR = xy(eR + (hand1 - eR) * (kForearm / kLowerArm));
    p.wristL = xy(eL + (hand2 - eL) * (kForearm / kLowerArm));
    p.shoulderR = xy(kShoulderR);
    p.shoulderL = xy(kShoulderL);
    // A gentle sway of the head, still at frame 0.
    p.head = kHeadRest + cv::Point2d(4.0 * std::sin(2.0 * kPi * k / 90.0), 2.0 * std::sin(2.0 * kPi * k / 70.0));
    return p;
}

SceneCalibration SignerScene::calibration() const {
    SignerPose p = pose(0);
    SceneCalibration c;
    c.area = cv::Rect2d(0, 0, kFrameWidth, kFrameHeight);
    // Face and hair: the hair cap rises 6 pixels above the face and is 4
    // pixels wider on each side.
    c.head = cv::Rect2d(p.head.x - kFaceA - 4, p.head.y - kFaceB - 6, 2 * kFaceA + 8, 2 * kFaceB + 6);
    c.shoulderR = p.shoulderR;
    c.shoulderL = p.shoulderL;
    return c;
}

void SignerScene::drawPerson(const SignerPose& p, cv::Mat& img) const {
    // Neck, in the shadow of the chin.
    std::vector<cv::Point> neck = {fx({p.head.x - 19, p.head.y + 30}), fx({p.head.x + 19, p.head.y + 30}),
                                   fx({338, 206}), fx({302, 206})};
    cv::fillConvexPoly(img, neck, kNeck, cv::LINE_AA, kShiftBits);

    // Torso with rounded shoulders and a round neckline.
    std::vector<cv::Point> torso = {fx({262, 198}), fx({300, 197}), fx({340, 197}), fx({378, 198}),
                                    fx({412, 204}), fx({432, 226}), fx({440, 300}), fx({446, 480}),
                                    fx({194, 480}), fx({200, 300}), fx({208, 226}), fx({228, 204})};
    cv::fillPoly(img, std::vector<std::vector<cv::Point>>{torso}, kShirt, cv::LINE_AA, kShiftBits);
    fillEllipse(img, {320, 197}, 20, 9, 0, kNeck, 0, 180);

    // Face, hair cap, eyes and mouth.
    fillEllipse(img, p.head, kFaceA, kFaceB, 0, kSkin);
    fillEllipse(img, p.head + cv::Point2d(-6, -8), kFaceA * 0.6, kFaceB * 0.6, 0, kSkinLight);
    fillEllipse(img, p.head + cv::Point2d(0, -32), kFaceA + 4, 26, 0, kHair, 180, 360);
    fillEllipse(img, p.head + cv::Point2d(-15, -5), 5, 3, 0, kEye);
    fillEllipse(img, p.head + cv::Point2d(15, -5), 5, 3, 0, kEye);
    fillEllipse(img, p.head + cv::Point2d(0, 26), 11, 4, 0, kMouth);

    // Arms: sleeves with a darker edge, then the hands at the wrists.
    auto arm = [&](const cv::Point2d& s, const cv::Point2d& e, const cv::Point2d& w) {
        limb(img, s, e, kUpperWidth + 4, kSleeveEdge);
        limb(img, e, w, kLowerWidth + 4, kSleeveEdge);
        limb(img, s, e, kUpperWidth, kSleeve);
        limb(img, e, w, kLowerWidth, kSleeve);
    };
    arm(p.shoulderR, p.elbowR, p.wristR);
    arm(p.shoulderL, p.elbowL, p.wristL);
    auto hand = [&](const cv::Point2d& e, const cv::Point2d& h) {
        cv::Point2d d = h - e;
        double angle = std::atan2(d.y, d.x) * 180.0 / kPi;
        fillEllipse(img, h, kHandAlong, kHandAcross, angle, kSkin);
        fillEllipse(img, h + d * (-4.0 / std::max(1.0, std::hypot(d.x, d.y))), kHandAlong * 0.55,
                    kHandAcross * 0.55, angle, kSkinLight);
    };
    hand(p.elbowR, p.hand1);
    hand(p.elbowL, p.hand2);
}

void SignerScene::addNoise(int k, cv::Mat& img) const {
    std::mt19937 gen(options_.seed ^ (0x9E3779B9u * uint32_t(k + 1)));
    const size_t mask = noise_.size() - 1;
    size_t at = gen() & mask;
    for (int y = 0; y < img.rows; ++y) {
        uchar* row = img.ptr<uchar>(y);
        for (int i = 0; i < img.cols * 3; ++i) {
            row[i] = cv::saturate_cast<uchar>(int(row[i]) + noise_[at]);
            at = (at + 1) & mask;
        }
    }
}

void SignerScene::render(int k, cv::Mat& out) const {
    background_.copyTo(out);
    drawPerson(pose(k), out);
    // A slight optical blur, then sensor noise.
    cv::GaussianBlur(out, out, cv::Size(3, 3), 0.7, 0.7, cv::BORDER_REPLICATE);
    addNoise(k, out);
}

} // namespace vsample
