// vestiga-eval: accuracy of a tracking file against the sample's ground truth.
#include "sample/Accuracy.h"

#include "cli/Options.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char* kUsage =
    "usage: vestiga-eval --truth FILE --tracking FILE --calibration FILE [--json]\n"
    "  compares the hands and head of a tracking file (line i = video frame i) with the\n"
    "  ground truth, in tracking units (1 = image-area height)\n";

} // namespace

int main(int argc, char** argv) {
    std::string truthPath, trackingPath, calibPath;
    bool json = false;
    cli::Options opts("vestiga-eval", kUsage);
    opts.text("--truth", &truthPath);
    opts.text("--tracking", &trackingPath);
    opts.text("--calibration", &calibPath);
    opts.flag("--json", &json);
    std::string error;
    const cli::Options::Outcome outcome = opts.parse(std::vector<std::string>(argv + 1, argv + argc), &error);
    const int done = cli::finishParse(opts, outcome, error, std::cout, std::cerr);
    if (done >= 0)
        return done;
    if (truthPath.empty() || trackingPath.empty() || calibPath.empty()) {
        std::fprintf(stderr, "vestiga-eval: --truth, --tracking and --calibration are all required\n%s", kUsage);
        return 2;
    }
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
