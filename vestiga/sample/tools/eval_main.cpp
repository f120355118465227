// vestiga-eval: accuracy of a tracking file against the sample's ground truth.
#include "sample/Accuracy.h"

#include <cstdio>
#include <string>

namespace {

void usage(FILE* to) {
    std::fprintf(to,
                 "usage: vestiga-eval --truth FILE --tracking FILE --calibration FILE [--json]\n"
                 "  compares the hands and head of a tracking file (line i = video frame i) with the\n"
                 "  ground truth, in tracking units (1 = image-area height)\n");
}

} // namespace

int main(int argc, char** argv) {
    std::string truthPath, trackingPath, calibPath;
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string* dst) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "vestiga-eval: %s needs a value\n", a.c_str());
                return false;
            }
            *dst = argv[++i];
            return true;
        };
        if (a == "--truth") {
            if (!value(&truthPath)) return 2;
        } else if (a == "--tracking") {
            if (!value(&trackingPath)) return 2;
        } else if (a == "--calibration") {
            if (!value(&calibPath)) return 2;
        } else if (a == "--json") {
            json = true;
        } else if (a == "-h" || a == "--help") {
            usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "vestiga-eval: unknown argument '%s'\n", a.c_str());
            usage(stderr);
            return 2;
        }
    }
    if (truthPath.empty() || trackingPath.empty() || calibPath.empty()) {
        std::fprintf(stderr, "vestiga-eval: --truth, --tracking and --calibration are all required\n");
        usage(stderr);
        return 2;
    }
    std::string error;
    std::vector<vsample::TruthFrame> truth;
    std::vector<vsample::TrackingLine> tracking;
    cv::Rect2d area;
    vsample::Evaluation ev;
    if (!vsample::readTruth(truthPath, &truth, &error) || !vsample::readTracking(trackingPath, &tracking, &error) ||
        !vsample::readCalibrationArea(calibPath, &area, &error) ||
        !vsample::evaluate(truth, tracking, area, &ev, &error)) {
        std::fprintf(stderr, "vestiga-eval: %s\n", error.c_str());
        return 2;
    }
    std::string out = json ? vsample::formatEvaluationJson(ev) : vsample::formatEvaluationText(ev);
    std::fputs(out.c_str(), stdout);
    return 0;
}
