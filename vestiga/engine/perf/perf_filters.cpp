// Benchmark of one tracking frame, step by step: the maps (computeSkBgMaps),
// each filter's run (head, torso, right elbow, left elbow, hands) and the
// expectation with both corrections, with the application's settings (400
// pixels wide, 1500 particles per filter). Prints the median time per frame of
// each step.
//
//   perf_filters [--short]                          a drawn 640 x 480 signer, 200 frames
//   perf_filters [--short] VIDEO [CALIBRATION] [N]  a video file; calibration file with
//                                         "area X,Y,W,H", "head X,Y,W,H" and
//                                         "shoulders XR,YR,XL,YL" or
//                                         "shoulder-distance D" (frame pixels,
//                                         top-left origin); at most N frames
// Sleeves reach the wrists unless --short is given (short sleeves: long
// forearm bands, the hand filter's costliest case).
#include "engine/CorrectionBN.h"
#include "engine/Suivi2D.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

using namespace vestiga;

namespace {

struct Calib {
    cv::Rect2d area, head;
    double shoulderDistance = 0;
};

// A signer drawn on a plain background; the hands circle in front of the body.
class DrawnSigner {
public:
    static constexpr int kW = 640, kH = 480;

    Calib calibration() const
    {
        Calib c;
        c.area = cv::Rect2d(0, 0, kW, kH);
        c.head = cv::Rect2d(272, 100, 96, 120);
        c.shoulderDistance = 140;
        return c;
    }
    void frame(int k, cv::Mat& out) const
    {
        out.create(kH, kW, CV_8UC3);
        out.setTo(cv::Scalar(150, 170, 140));
        const cv::Scalar skin(110, 140, 205), sweater(60, 40, 45);
        const double a = 0.15 * k;
        const cv::Point h1(250 + static_cast<int>(60 * std::cos(a)), 330 + static_cast<int>(50 * std::sin(a)));
        const cv::Point h2(390 - static_cast<int>(60 * std::cos(a)), 330 + static_cast<int>(50 * std::sin(a)));
        cv::rectangle(out, cv::Rect(235, 230, 170, 250), sweater, cv::FILLED);
        cv::rectangle(out, cv::Rect(300, 210, 40, 30), skin, cv::FILLED);
        cv::line(out, cv::Point(245, 245), cv::Point(215, 340), sweater, 30);
        cv::line(out, cv::Point(395, 245), cv::Point(425, 340), sweater, 30);
        cv::line(out, cv::Point(215, 340), h1, sweater, 24);
        cv::line(out, cv::Point(425, 340), h2, sweater, 24);
        cv::ellipse(out, cv::Point(320, 160), cv::Size(45, 58), 0, 0, 360, skin, cv::FILLED);
        cv::circle(out, h1, 22, skin, cv::FILLED);
        cv::circle(out, h2, 22, skin, cv::FILLED);
    }
};

bool parseCalibration(const std::string& path, Calib* c, std::string* error)
{
    std::ifstream in(path);
    if (!in) {
        *error = "cannot open the calibration file " + path;
        return false;
    }
    std::string line;
    bool area = false, head = false, dist = false;
    while (std::getline(in, line)) {
        std::replace(line.begin(), line.end(), ',', ' ');
        std::istringstream s(line);
        std::string key;
        s >> key;
        double v[4];
        if (key == "area" && (s >> v[0] >> v[1] >> v[2] >> v[3])) {
            c->area = cv::Rect2d(v[0], v[1], v[2], v[3]);
            area = true;
        } else if (key == "head" && (s >> v[0] >> v[1] >> v[2] >> v[3])) {
            c->head = cv::Rect2d(v[0], v[1], v[2], v[3]);
            head = true;
        } else if (key == "shoulders" && !dist && (s >> v[0] >> v[1] >> v[2] >> v[3])) {
            c->shoulderDistance = std::hypot(v[2] - v[0], v[3] - v[1]);
            dist = c->shoulderDistance > 0;
        } else if (key == "shoulder-distance" && (s >> v[0])) {
            c->shoulderDistance = v[0];
            dist = v[0] > 0;
        }
    }
    if (!area || !head || !dist) {
        *error = path + ": needs \"area\", \"head\" and \"shoulders\" or \"shoulder-distance\"";
        return false;
    }
    return true;
}

// Median of the samples, in milliseconds.
double medianMs(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return (n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2])) * 1e3;
}

// The fastest sample, in milliseconds: on a loaded machine the closest to the
// cost of the work itself.
double minMs(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()) * 1e3; }

// The 90th percentile, in milliseconds.
double p90Ms(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[(v.size() * 9) / 10 < v.size() ? (v.size() * 9) / 10 : v.size() - 1] * 1e3;
}

double timed(const std::function<void()>& f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main(int argc, char** argv)
{
    bool shortSleeves = false;
    if (argc > 1 && std::string(argv[1]) == "--short") {
        shortSleeves = true;
        --argc;
        ++argv;
    }
    const DrawnSigner drawn;
    cv::VideoCapture video;
    Calib calib = drawn.calibration();
    int maxFrames = 200;
    std::string source = "drawn signer 640x480";
    cv::Mat reference;

    if (argc > 1) {
        if (!video.open(argv[1]) || !video.read(reference) || reference.empty()) {
            std::fprintf(stderr, "perf_filters: cannot read a frame of the video %s\n", argv[1]);
            return 1;
        }
        source = argv[1];
        if (argc > 2) {
            std::string error;
            if (!parseCalibration(argv[2], &calib, &error)) {
                std::fprintf(stderr, "perf_filters: %s\n", error.c_str());
                return 1;
            }
        } else {
            // No calibration: the whole frame, a head box at the top centre.
            const double w = reference.cols, h = reference.rows;
            calib.area = cv::Rect2d(0, 0, w, h);
            calib.head = cv::Rect2d(0.425 * w, 0.2 * h, 0.15 * w, 0.25 * h);
            calib.shoulderDistance = 0.22 * w;
        }
        if (argc > 3)
            maxFrames = std::max(1, std::atoi(argv[3]));
    } else {
        drawn.frame(0, reference);
    }

    const double fw = reference.cols, fh = reference.rows;
    const cv::Rect2d& A = calib.area;
    Suivi2D t;
    t.opt.minX = static_cast<float>(A.x / fw);
    t.opt.minY = static_cast<float>(A.y / fh);
    t.opt.maxX = static_cast<float>((A.x + A.width) / fw);
    t.opt.maxY = static_cast<float>((A.y + A.height) / fh);
    t.opt.resizeWidth = 400;
    const std::string roiProblem = t.checkROI(reference.size());
    if (!roiProblem.empty()) {
        std::fprintf(stderr, "perf_filters: %s\n", roiProblem.c_str());
        return 1;
    }
    cv::Mat frame = reference.clone(); // the frame buffer the tracker reads
    if (!t.setCurPicture(frame)) {
        std::fprintf(stderr, "perf_filters: the first frame cannot be processed\n");
        return 1;
    }
    // Skin sample: the central half of the head box of the reference frame.
    const cv::Rect2d& H = calib.head;
    const cv::Rect skinRect(static_cast<int>(H.x + H.width / 4), static_cast<int>(H.y + H.height / 4),
                            std::max(1, static_cast<int>(H.width / 2)), std::max(1, static_cast<int>(H.height / 2)));
    const cv::Mat skinPic = reference(skinRect & cv::Rect(0, 0, reference.cols, reference.rows)).clone();
    t.setSkinPic(skinPic);
    (void)t.createAutoBgPic(); // after setCurPicture: cannot fail
    const double ch = A.height, dS = calib.shoulderDistance;
    t.opt.handWidth = static_cast<float>(dS * 0.4 / ch);
    t.opt.headWidth = static_cast<float>(H.width / ch);
    t.opt.headHeight = static_cast<float>(H.height / ch);
    t.opt.sleeves = shortSleeves ? 0.33f : 1.0f;
    t.opt.bodyScale = dS * 3.5 / ch;
    bool tables = false;
    const double tHisto = timed([&] { tables = t.computeLikelihoodHisto(); });
    if (!tables) {
        std::fprintf(stderr, "perf_filters: the colour tables cannot be built\n");
        return 1;
    }
    const std::string sizeProblem = t.checkBodySizes();
    if (!sizeProblem.empty()) {
        std::fprintf(stderr, "perf_filters: %s\n", sizeProblem.c_str());
        return 1;
    }
    const double tSetup = timed([&] {
        t.buildPartFilter();
        (void)t.initFilter(); // after buildPartFilter: cannot fail
    });
    CorrectionBN cor;
    cor.initialize(0.95f, static_cast<int>(t.opt.bodyScale * 0.25 * t.resH));

    std::vector<double> maps, head, torso, elbowR, elbowL, hands, finish, total;
    cv::Mat next;
    for (int k = 1; k <= maxFrames; ++k) {
        if (video.isOpened()) {
            if (!video.read(next) || next.size() != frame.size() || next.type() != frame.type())
                break;
        } else {
            drawn.frame(k, next);
        }
        next.copyTo(t.curPic); // same size and type: refilled in place
        BodyEstimate e;
        maps.push_back(timed([&] { (void)t.computeSkBgMaps(); }));
        head.push_back(timed([&] { (void)t.track(Suivi2D::Part::Head); }));
        torso.push_back(timed([&] { (void)t.track(Suivi2D::Part::Torso); }));
        elbowR.push_back(timed([&] { (void)t.track(Suivi2D::Part::ElbowR); }));
        elbowL.push_back(timed([&] { (void)t.track(Suivi2D::Part::ElbowL); }));
        hands.push_back(timed([&] { (void)t.track(Suivi2D::Part::Hands); }));
        finish.push_back(timed([&] {
            e = t.estimate();
            cor.correctHand(e);
            cor.correctElbow(e);
        }));
        total.push_back(maps.back() + head.back() + torso.back() + elbowR.back() + elbowL.back() + hands.back()
                        + finish.back());
    }

    std::printf("source: %s, processed picture %dx%d, %zu frames, 1500 particles per filter, %s sleeves\n",
                source.c_str(), t.resW, t.resH, total.size(), shortSleeves ? "short" : "wrist");
    std::printf("set-up: likelihood tables %.2f ms, filters and templates %.2f ms\n", tHisto * 1e3,
                tSetup * 1e3);
    std::printf("per frame (ms):                 median      90%%   fastest\n");
    std::printf("  computeSkBgMaps            %8.3f %8.3f %8.3f\n", medianMs(maps), p90Ms(maps), minMs(maps));
    std::printf("  head filter                %8.3f %8.3f %8.3f\n", medianMs(head), p90Ms(head), minMs(head));
    std::printf("  torso filter               %8.3f %8.3f %8.3f\n", medianMs(torso), p90Ms(torso), minMs(torso));
    std::printf("  right elbow filter         %8.3f %8.3f %8.3f\n", medianMs(elbowR), p90Ms(elbowR), minMs(elbowR));
    std::printf("  left elbow filter          %8.3f %8.3f %8.3f\n", medianMs(elbowL), p90Ms(elbowL), minMs(elbowL));
    std::printf("  hand filter                %8.3f %8.3f %8.3f\n", medianMs(hands), p90Ms(hands), minMs(hands));
    std::printf("  expectation + corrections  %8.3f %8.3f %8.3f\n", medianMs(finish), p90Ms(finish), minMs(finish));
    std::printf("  whole frame                %8.3f %8.3f %8.3f\n", medianMs(total), p90Ms(total), minMs(total));
    return 0;
}
