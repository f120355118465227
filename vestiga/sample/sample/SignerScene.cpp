#include "sample/SignerScene.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <random>

namespace vsample {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Body geometry (default-frame pixels). The shoulders are the arm joints.
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
constexpr double kShortSleeve = 0.55; // a short sleeve covers this share of the upper arm

// Colours of the default signer, blue-green-red. Skin is reddish (high red,
// mid green, lower blue); shirt a dark blue; the wall a muted blue-grey; none
// share a colour bin of 16 levels per channel with another in the red and
// blue channels.
const cv::Scalar kSkin(118, 150, 205);
const cv::Scalar kSkinLight(126, 158, 213);
const cv::Scalar kNeck(104, 133, 182);
const cv::Scalar kShirt(100, 52, 32);
const cv::Scalar kSleeve(108, 58, 36);
const cv::Scalar kSleeveEdge(82, 42, 26);
const cv::Scalar kHair(34, 44, 62);
const cv::Scalar kEye(40, 36, 34);
const cv::Scalar kMouth(92, 96, 168);

cv::Point2d xy(const cv::Point3d& p) { return cv::Point2d(p.x, p.y); }

// A horizontal offset from the body's centre line widened by factor w (exact
// when w is 1, so the default signer keeps its numbers).
double widen(double x, double w) { return w == 1.0 ? x : 320.0 + (x - 320.0) * w; }

// The default wall: a blue-grey paint with soft waves, vertical panel joints
// every 80 pixels and a rail at mid height. Every structure repeats across
// the width, so that each quarter of the picture shows the same colours.
cv::Mat defaultWall() {
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

// The other walls, at any size; `s` is the person's scale, so patterns keep
// their size relative to the person.
cv::Mat otherWall(const SignerLook& look, cv::Size size, double s, uint32_t seed) {
    cv::Mat bg(size, CV_8UC3);
    std::mt19937 gen(seed ^ 0x5bd1e995u);
    // Shelves: blocks of books, a few muted shades around the wall colour.
    std::vector<double> shade(64);
    for (double& v : shade) v = double(gen() % 41) - 20.0;
    for (int y = 0; y < size.height; ++y) {
        cv::Vec3b* row = bg.ptr<cv::Vec3b>(y);
        const double ys = y / s;
        for (int x = 0; x < size.width; ++x) {
            const double xs = x / s;
            double v = 0, tint = 0;
            switch (look.wall) {
            case 1: // horizontal stripes and a vertical gradient
                v = 8.0 * std::sin(ys * 0.09) + 14.0 * (0.5 - ys / 480.0);
                if (int(ys) % 60 < 4) v -= 16.0;
                break;
            case 2: { // shelves with books
                const int shelf = int(ys / 96.0);
                const int book = int((xs + 13.0 * shelf) / 22.0);
                v = shade[(book * 7 + shelf * 13) & 63];
                tint = shade[(book * 3 + shelf * 5 + 11) & 63] * 0.8;
                if (std::fmod(ys, 96.0) < 8.0) v = -35.0; // the shelf board
                break;
            }
            default: // a curtain: soft vertical folds
                v = 14.0 * std::sin(xs * 0.07 + 0.8 * std::sin(xs * 0.013)) + 5.0 * std::sin(ys * 0.02);
                break;
            }
            row[x] = cv::Vec3b(cv::saturate_cast<uchar>(look.wallColour[0] + v + tint),
                               cv::saturate_cast<uchar>(look.wallColour[1] + v),
                               cv::saturate_cast<uchar>(look.wallColour[2] + v - tint));
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

SignerLook signerLook(int n) {
    SignerLook l;
    switch (n) {
    case 1: // dark skin, light grey shirt, green-grey striped wall
        l.skin = {62, 88, 134};
        l.skinLight = {70, 98, 146};
        l.neck = {52, 74, 114};
        l.shirt = {176, 178, 172};
        l.sleeve = {168, 170, 164};
        l.sleeveEdge = {138, 140, 134};
        l.hair = {24, 24, 28};
        l.eye = {30, 28, 28};
        l.mouth = {60, 62, 110};
        l.wall = 1;
        l.wallColour = {118, 138, 104};
        l.shoulderWidth = 1.08;
        l.faceSize = 1.04;
        break;
    case 2: // pale skin, black shirt, shelves of books on a light wall
        l.skin = {150, 172, 222};
        l.skinLight = {160, 182, 230};
        l.neck = {134, 154, 202};
        l.shirt = {36, 34, 36};
        l.sleeve = {44, 42, 44};
        l.sleeveEdge = {22, 20, 22};
        l.hair = {42, 66, 96};
        l.eye = {50, 44, 40};
        l.mouth = {110, 112, 190};
        l.wall = 2;
        l.wallColour = {170, 160, 150};
        l.shoulderWidth = 0.92;
        l.faceSize = 0.94;
        break;
    case 3: // tan skin, green shirt, dark curtain
        l.skin = {92, 128, 180};
        l.skinLight = {100, 138, 190};
        l.neck = {80, 112, 160};
        l.shirt = {58, 108, 52};
        l.sleeve = {64, 116, 58};
        l.sleeveEdge = {44, 84, 38};
        l.hair = {20, 26, 36};
        l.eye = {30, 28, 28};
        l.mouth = {80, 84, 150};
        l.wall = 3;
        l.wallColour = {78, 66, 70};
        l.shoulderWidth = 1.0;
        l.faceSize = 1.0;
        break;
    default:
        l.skin = kSkin;
        l.skinLight = kSkinLight;
        l.neck = kNeck;
        l.shirt = kShirt;
        l.sleeve = kSleeve;
        l.sleeveEdge = kSleeveEdge;
        l.hair = kHair;
        l.eye = kEye;
        l.mouth = kMouth;
        l.wall = 0;
        break;
    }
    return l;
}

std::string checkSceneOptions(const SceneOptions& o) {
    if (o.look < 0 || o.look >= kLooks)
        return "look " + std::to_string(o.look) + " does not exist (0 to " + std::to_string(kLooks - 1) + ")";
    if (o.size.width < 64 || o.size.height < 48 || o.size.width > 4096 || o.size.height > 4096 ||
        o.size.width % 2 || o.size.height % 2)
        return "frame size " + std::to_string(o.size.width) + "x" + std::to_string(o.size.height) +
               " is not an even size from 64x48 to 4096x4096";
    if (o.size.width * 3 < o.size.height * 4)
        return "frame size " + std::to_string(o.size.width) + "x" + std::to_string(o.size.height) +
               " is narrower than 4:3; the signer would not fit";
    if (!(o.fps >= 5 && o.fps <= 120)) return "frame rate must lie between 5 and 120 frames/s";
    if (!(o.personScale >= 0.6 && o.personScale <= 1.2)) return "person scale must lie between 0.6 and 1.2";
    SignerScript s;
    std::string error;
    if (!s.load(o.script, 0, &error)) return error;
    return std::string();
}

cv::Point3d armPole(const cv::Point3d& shoulder, const cv::Point3d& target, double outward) {
    // A hand at the chest or lower, or out to its own side, leaves the elbow
    // down, out and a little behind the body. A hand raised to the face
    // across the shoulder's inner side folds the arm: the upper arm swings
    // forward and the elbow hangs under the hand, toward the camera. Without
    // that, the elbow would follow the hand across the body's centre line.
    // The two poles are blended by how far the target lies above the
    // shoulder's line (from 10 pixels below it to 30 above) and inward of
    // the shoulder (from 25 to 45 pixels). The default script's hands stay
    // out of that region, so its elbows keep the first pole exactly.
    auto ramp = [](double v, double from, double to) { return std::min(1.0, std::max(0.0, (v - from) / (to - from))); };
    const double up = ramp(shoulder.y + 10.0 - target.y, 0.0, 40.0);
    const double inward = ramp((shoulder.x - target.x) * outward, 25.0, 45.0);
    const double s = up * inward;
    return cv::Point3d(outward * 0.3, 1.0, -0.6 + 1.2 * s);
}

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

SignerScene::SignerScene(const SceneOptions& options) : options_(options), look_(signerLook(options.look)) {
    std::string error;
    if (!script_.load(options_.script, options_.variant, &error)) script_.load("default", 0, &error);
    // The person stands at the bottom centre: the default frame's height
    // maps onto personScale times the frame's height.
    scale_ = options_.personScale * options_.size.height / double(kFrameHeight);
    offset_ = cv::Point2d((options_.size.width - kFrameWidth * scale_) / 2.0,
                          options_.size.height - kFrameHeight * scale_);
    shoulderR_ = cv::Point3d(widen(kShoulderR.x, look_.shoulderWidth), kShoulderR.y, 0);
    shoulderL_ = cv::Point3d(widen(kShoulderL.x, look_.shoulderWidth), kShoulderL.y, 0);
    const bool defaultFrame = options_.size == cv::Size(kFrameWidth, kFrameHeight) && scale_ == 1.0;
    background_ = options_.look == 0 && defaultFrame ? defaultWall()
                  : options_.look == 0 ? cv::Mat()
                                       : otherWall(look_, options_.size, scale_, options_.seed);
    if (background_.empty()) { // the default wall, stretched to another frame
        cv::resize(defaultWall(), background_, options_.size, 0, 0, cv::INTER_LINEAR);
    }
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

int SignerScene::scriptFrames() const {
    if (script_.name() == "default" && options_.fps == kFps) return kScriptFrames;
    return int(std::lround(script_.duration() * options_.fps));
}

SignerPose SignerScene::pose(int k) const {
    cv::Point3d h1, h2;
    // Time in frames of 25 per second; the default script at 25 frames/s
    // keeps whole frame numbers.
    double k25 = 0;
    if (options_.fps == kFps) {
        k25 = k;
        if (script_.name() == "default")
            defaultTargets(((k % kScriptFrames) + kScriptFrames) % kScriptFrames, h1, h2);
        else
            script_.targets(k / kFps, h1, h2);
    } else {
        k25 = k * kFps / options_.fps;
        script_.targets(k / options_.fps, h1, h2);
    }
    const double w = look_.shoulderWidth;
    h1.x = widen(h1.x, w);
    h2.x = widen(h2.x, w);
    cv::Point3d eR = solveElbow(shoulderR_, h1, kUpperArm, kLowerArm, armPole(shoulderR_, h1, -1.0));
    cv::Point3d eL = solveElbow(shoulderL_, h2, kUpperArm, kLowerArm, armPole(shoulderL_, h2, 1.0));
    // A target out of reach is replaced by the reachable hand position.
    auto handOf = [](const cv::Point3d& e, const cv::Point3d& t) {
        cv::Point3d v = t - e;
        double n = std::sqrt(v.dot(v));
        return n > 1e-9 ? e + v * (kLowerArm / n) : t;
    };
    cv::Point3d hand1 = handOf(eR, h1), hand2 = handOf(eL, h2);

    SignerPose p;
    p.hand1 = toFrame(xy(hand1));
    p.hand2 = toFrame(xy(hand2));
    p.elbowR = toFrame(xy(eR));
    p.elbowL = toFrame(xy(eL));
    p.wristR = toFrame(xy(eR + (hand1 - eR) * (kForearm / kLowerArm)));
    p.wristL = toFrame(xy(eL + (hand2 - eL) * (kForearm / kLowerArm)));
    p.shoulderR = toFrame(xy(shoulderR_));
    p.shoulderL = toFrame(xy(shoulderL_));
    // A gentle sway of the head, still at frame 0.
    p.head = toFrame(kHeadRest + cv::Point2d(4.0 * std::sin(2.0 * kPi * k25 / 90.0),
                                             2.0 * std::sin(2.0 * kPi * k25 / 70.0)));
    return p;
}

SceneCalibration SignerScene::calibration() const {
    SignerPose p = pose(0);
    SceneCalibration c;
    c.area = cv::Rect2d(0, 0, options_.size.width, options_.size.height);
    // Face and hair: the hair cap rises 6 pixels above the face and is 4
    // pixels wider on each side.
    const double a = kFaceA * look_.faceSize * scale_, b = kFaceB * look_.faceSize * scale_;
    c.head = cv::Rect2d(p.head.x - a - 4 * scale_, p.head.y - b - 6 * scale_, 2 * a + 8 * scale_,
                        2 * b + 6 * scale_);
    c.shoulderR = p.shoulderR;
    c.shoulderL = p.shoulderL;
    c.shortSleeves = options_.shortSleeves;
    return c;
}

void SignerScene::drawPerson(const SignerPose& p, cv::Mat& img) const {
    const double s = scale_, w = look_.shoulderWidth;
    auto body = [&](double x, double y) { return fx(toFrame(cv::Point2d(widen(x, w), y))); };
    const double faceA = kFaceA * look_.faceSize * s, faceB = kFaceB * look_.faceSize * s;
    // Neck, in the shadow of the chin.
    std::vector<cv::Point> neck = {fx({p.head.x - 19 * s, p.head.y + 30 * s}),
                                   fx({p.head.x + 19 * s, p.head.y + 30 * s}), fx(toFrame({338, 206})),
                                   fx(toFrame({302, 206}))};
    cv::fillConvexPoly(img, neck, look_.neck, cv::LINE_AA, kShiftBits);

    // Torso with rounded shoulders and a round neckline.
    std::vector<cv::Point> torso = {body(262, 198), body(300, 197), body(340, 197), body(378, 198),
                                    body(412, 204), body(432, 226), body(440, 300), body(446, 480),
                                    body(194, 480), body(200, 300), body(208, 226), body(228, 204)};
    cv::fillPoly(img, std::vector<std::vector<cv::Point>>{torso}, look_.shirt, cv::LINE_AA, kShiftBits);
    fillEllipse(img, toFrame({320, 197}), 20 * s, 9 * s, 0, look_.neck, 0, 180);

    // Face, hair cap, eyes and mouth.
    const double f = look_.faceSize * s;
    fillEllipse(img, p.head, faceA, faceB, 0, look_.skin);
    fillEllipse(img, p.head + cv::Point2d(-6, -8) * f, faceA * 0.6, faceB * 0.6, 0, look_.skinLight);
    fillEllipse(img, p.head + cv::Point2d(0, -32) * f, faceA + 4 * s, 26 * f, 0, look_.hair, 180, 360);
    fillEllipse(img, p.head + cv::Point2d(-15, -5) * f, 5 * f, 3 * f, 0, look_.eye);
    fillEllipse(img, p.head + cv::Point2d(15, -5) * f, 5 * f, 3 * f, 0, look_.eye);
    fillEllipse(img, p.head + cv::Point2d(0, 26) * f, 11 * f, 4 * f, 0, look_.mouth);

    // Arms: sleeves with a darker edge, then the hands at the wrists. Short
    // sleeves end above the elbow and leave the rest of the arm bare.
    auto arm = [&](const cv::Point2d& sh, const cv::Point2d& e, const cv::Point2d& wr) {
        if (options_.shortSleeves) {
            const cv::Point2d cut = sh + (e - sh) * kShortSleeve;
            limb(img, cut, e, kUpperWidth * 0.8 * s, look_.skin);
            limb(img, e, wr, kLowerWidth * 0.85 * s, look_.skin);
            limb(img, sh, cut, (kUpperWidth + 4) * s, look_.sleeveEdge);
            limb(img, sh, cut, kUpperWidth * s, look_.sleeve);
            return;
        }
        limb(img, sh, e, (kUpperWidth + 4) * s, look_.sleeveEdge);
        limb(img, e, wr, (kLowerWidth + 4) * s, look_.sleeveEdge);
        limb(img, sh, e, kUpperWidth * s, look_.sleeve);
        limb(img, e, wr, kLowerWidth * s, look_.sleeve);
    };
    arm(p.shoulderR, p.elbowR, p.wristR);
    arm(p.shoulderL, p.elbowL, p.wristL);
    auto hand = [&](const cv::Point2d& e, const cv::Point2d& h) {
        cv::Point2d d = h - e;
        double angle = std::atan2(d.y, d.x) * 180.0 / kPi;
        fillEllipse(img, h, kHandAlong * s, kHandAcross * s, angle, look_.skin);
        fillEllipse(img, h + d * (-4.0 * s / std::max(1.0, std::hypot(d.x, d.y))), kHandAlong * 0.55 * s,
                    kHandAcross * 0.55 * s, angle, look_.skinLight);
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
    cv::GaussianBlur(out, out, cv::Size(3, 3), 0.7 * scale_, 0.7 * scale_, cv::BORDER_REPLICATE);
    addNoise(k, out);
}

} // namespace vsample
