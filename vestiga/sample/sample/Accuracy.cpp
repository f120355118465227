#include "sample/Accuracy.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace vsample {

TrackingUnits::TrackingUnits(const cv::Rect2d& a)
    : area(a), scale(400.0 / a.width), R(float(a.height) * 400.0f / float(a.width)) {}

cv::Point2d TrackingUnits::toProcessed(const cv::Point2d& p) const {
    return cv::Point2d((p.x - area.x + 0.5) * scale - 0.5, (p.y - area.y + 0.5) * scale - 0.5);
}

cv::Point2d TrackingUnits::fromFrame(const cv::Point2d& p) const {
    const cv::Point2d q = toProcessed(p);
    return cv::Point2d((q.x - 200.0) / double(R), q.y / double(R));
}

double percentile(const std::vector<double>& sorted, double q) {
    if (sorted.empty()) return 0;
    double pos = q * double(sorted.size() - 1);
    size_t lo = size_t(std::floor(pos)), hi = size_t(std::ceil(pos));
    double a = sorted[lo], b = sorted[hi];
    if (lo == hi || a == b) return a;
    if (!std::isfinite(b)) return b;
    return a + (b - a) * (pos - double(lo));
}

ErrorStats errorStats(std::vector<double> errors, double tolerance) {
    ErrorStats s;
    s.count = int(errors.size());
    if (errors.empty()) return s;
    double sum = 0;
    int within = 0;
    for (double& e : errors) {
        if (!std::isfinite(e)) {
            e = std::numeric_limits<double>::infinity();
            ++s.lost;
        } else if (e < tolerance) {
            ++within;
        }
        sum += e;
    }
    std::sort(errors.begin(), errors.end());
    s.mean = sum / double(errors.size());
    s.median = percentile(errors, 0.5);
    s.p90 = percentile(errors, 0.9);
    s.within = double(within) / double(errors.size());
    return s;
}

namespace {

double dist(const cv::Point2d& a, const cv::Point2d& b) { return std::hypot(a.x - b.x, a.y - b.y); }

} // namespace

bool evaluate(const std::vector<TruthFrame>& truth, const std::vector<TrackingLine>& tracking,
              const cv::Rect2d& area, Evaluation* out, std::string* error, double tolerance) {
    Evaluation e;
    e.truthFrames = int(truth.size());
    e.trackingLines = int(tracking.size());
    e.tolerance = tolerance;
    if (tracking.empty()) {
        *error = "the tracking file has no lines";
        return false;
    }
    if (tracking.size() + 1 > truth.size()) {
        *error = "the tracking file has " + std::to_string(tracking.size()) + " lines but the ground truth has only " +
                 std::to_string(truth.size()) + " frames (" + std::to_string(truth.size() > 0 ? truth.size() - 1 : 0) +
                 " tracked frames after the reference frame 0): they do not describe the same video";
        return false;
    }
    if (!(area.width > 0 && area.height > 0)) {
        *error = "the image area must have a positive width and height";
        return false;
    }
    TrackingUnits units(area);
    e.frames = int(tracking.size());
    for (size_t i = 0; i < tracking.size(); ++i) {
        const TruthFrame& t = truth[i + 1];
        const TrackingLine& k = tracking[i];
        cv::Point2d g1 = units.fromFrame(t.hand1), g2 = units.fromFrame(t.hand2), gh = units.fromFrame(t.head);
        double d11 = dist(k.hand1, g1), d22 = dist(k.hand2, g2);
        double d12 = dist(k.hand1, g2), d21 = dist(k.hand2, g1);
        e.hand1Errors.push_back(d11);
        e.hand2Errors.push_back(d22);
        e.headErrors.push_back(dist(k.head, gh));
        // A comparison with NaN is false: a lost hand is not counted as swapped.
        bool sw = d12 + d21 < d11 + d22;
        e.swapped.push_back(sw ? 1 : 0);
        if (sw) {
            ++e.swappedFrames;
            if (i == 0 || !e.swapped[i - 1]) ++e.swaps;
        }
    }
    e.hand1 = errorStats(e.hand1Errors, tolerance);
    e.hand2 = errorStats(e.hand2Errors, tolerance);
    e.head = errorStats(e.headErrors, tolerance);
    e.swappedShare = double(e.swappedFrames) / double(e.frames);
    *out = std::move(e);
    return true;
}

namespace {

std::string num(double v, const char* format = "%.4f") {
    if (!std::isfinite(v)) return "inf";
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

std::string jnum(double v) {
    if (!std::isfinite(v)) return "null"; // JSON has no infinity
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f", v);
    return buf;
}

std::string statsJson(const ErrorStats& s) {
    return "{\"mean\": " + jnum(s.mean) + ", \"median\": " + jnum(s.median) + ", \"p90\": " + jnum(s.p90) +
           ", \"within\": " + jnum(s.within) + ", \"lost\": " + std::to_string(s.lost) + "}";
}

} // namespace

std::string formatEvaluationText(const Evaluation& e) {
    std::string s;
    s += "frames compared: " + std::to_string(e.frames) + " (tracking lines " + std::to_string(e.trackingLines) +
         ", ground-truth frames " + std::to_string(e.truthFrames) + ")\n";
    s += "errors in tracking units (1 = image-area height)\n";
    char buf[200];
    std::snprintf(buf, sizeof buf, "%-6s %9s %9s %9s %9s %5s\n", "part", "mean", "median", "p90",
                  ("<" + num(e.tolerance, "%g")).c_str(), "lost");
    s += buf;
    auto row = [&](const char* name, const ErrorStats& st) {
        std::snprintf(buf, sizeof buf, "%-6s %9s %9s %9s %8.1f%% %5d\n", name, num(st.mean).c_str(),
                      num(st.median).c_str(), num(st.p90).c_str(), 100.0 * st.within, st.lost);
        s += buf;
    };
    row("hand1", e.hand1);
    row("hand2", e.hand2);
    row("head", e.head);
    std::snprintf(buf, sizeof buf, "hand swaps: %d, swapped frames: %d (%.1f%%)\n", e.swaps, e.swappedFrames,
                  100.0 * e.swappedShare);
    s += buf;
    return s;
}

int longSwaps(const Evaluation& e, int minFrames) {
    int runs = 0, len = 0;
    for (size_t i = 0; i <= e.swapped.size(); ++i) {
        if (i < e.swapped.size() && e.swapped[i]) {
            ++len;
            continue;
        }
        if (len > minFrames) ++runs;
        len = 0;
    }
    return runs;
}

std::string formatSetSummary(const std::vector<SetRow>& rows) {
    std::string s;
    char buf[300];
    std::snprintf(buf, sizeof buf, "%-24s %6s %6s %6s %7s %7s %7s %5s %5s\n", "video", "hand1", "hand2", "head",
                  "med1", "med2", "medH", "swaps", ">5fr");
    s += buf;
    double w1 = 1, w2 = 1, wh = 1, m1 = 0, m2 = 0, mh = 0;
    int sw = 0, lsw = 0;
    for (const SetRow& r : rows) {
        const Evaluation& e = r.eval;
        const int ls = longSwaps(e, 5);
        std::snprintf(buf, sizeof buf, "%-24s %5.1f%% %5.1f%% %5.1f%% %7.4f %7.4f %7.4f %5d %5d\n", r.name.c_str(),
                      100.0 * e.hand1.within, 100.0 * e.hand2.within, 100.0 * e.head.within, e.hand1.median,
                      e.hand2.median, e.head.median, e.swaps, ls);
        s += buf;
        w1 = std::min(w1, e.hand1.within);
        w2 = std::min(w2, e.hand2.within);
        wh = std::min(wh, e.head.within);
        m1 = std::max(m1, e.hand1.median);
        m2 = std::max(m2, e.hand2.median);
        mh = std::max(mh, e.head.median);
        sw = std::max(sw, e.swaps);
        lsw = std::max(lsw, ls);
    }
    if (!rows.empty()) {
        std::snprintf(buf, sizeof buf, "%-24s %5.1f%% %5.1f%% %5.1f%% %7.4f %7.4f %7.4f %5d %5d\n", "worst",
                      100.0 * w1, 100.0 * w2, 100.0 * wh, m1, m2, mh, sw, lsw);
        s += buf;
    }
    return s;
}

std::string formatEvaluationJson(const Evaluation& e) {
    std::string s = "{";
    s += "\"frames\": " + std::to_string(e.frames);
    s += ", \"tracking_lines\": " + std::to_string(e.trackingLines);
    s += ", \"truth_frames\": " + std::to_string(e.truthFrames);
    s += ", \"tolerance\": " + jnum(e.tolerance);
    s += ", \"hand1\": " + statsJson(e.hand1);
    s += ", \"hand2\": " + statsJson(e.hand2);
    s += ", \"head\": " + statsJson(e.head);
    s += ", \"swaps\": " + std::to_string(e.swaps);
    s += ", \"swapped_frames\": " + std::to_string(e.swappedFrames);
    s += ", \"swapped_share\": " + jnum(e.swappedShare);
    s += "}\n";
    return s;
}

} // namespace vsample
