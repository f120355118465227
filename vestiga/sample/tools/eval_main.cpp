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
    "       vestiga-eval --set DIR [--suffix SUFFIX]\n"
    "  compares the hands and head of a tracking file (line i = video frame i) with the\n"
    "  ground truth, in tracking units (1 = image-area height)\n"
    "  --set: every NAME of DIR/set.list, its NAME.truth, NAME.calib and NAME SUFFIX\n"
    "  (default '.track'), summed up in one table\n";

} // namespace

// The summary over a set written by vestiga-synth --set.
int evalSet(const std::string& dir, const std::string& suffix) {
    std::string list, error;
    if (!vsample::readTextFile(dir + "/set.list", &list, &error)) {
        std::fprintf(stderr, "vestiga-eval: %s\n", error.c_str());
        return 2;
    }
    std::vector<vsample::SetRow> rows;
    size_t at = 0;
    while (at < list.size()) {
        size_t nl = list.find('\n', at);
        if (nl == std::string::npos) nl = list.size();
        const std::string name = list.substr(at, nl - at);
        at = nl + 1;
        if (name.empty()) continue;
        const std::string base = dir + "/" + name;
        std::vector<vsample::TruthFrame> truth;
        std::vector<vsample::TrackingLine> tracking;
        cv::Rect2d area;
        vsample::SetRow row;
        row.name = name;
        if (!vsample::readTruth(base + ".truth", &truth, &error) ||
            !vsample::readTracking(base + suffix, &tracking, &error) ||
            !vsample::readCalibrationArea(base + ".calib", &area, &error) ||
            !vsample::evaluate(truth, tracking, area, &row.eval, &error)) {
            std::fprintf(stderr, "vestiga-eval: %s\n", error.c_str());
            return 2;
        }
        rows.push_back(row);
    }
    if (rows.empty()) {
        std::fprintf(stderr, "vestiga-eval: %s/set.list names no video\n", dir.c_str());
        return 2;
    }
    std::fputs(vsample::formatSetSummary(rows).c_str(), stdout);
    return 0;
}

int main(int argc, char** argv) {
    std::string truthPath, trackingPath, calibPath, setDir, suffix = ".track";
    bool json = false;
    cli::Options opts("vestiga-eval", kUsage);
    opts.text("--truth", &truthPath);
    opts.text("--tracking", &trackingPath);
    opts.text("--calibration", &calibPath);
    opts.text("--set", &setDir);
    opts.text("--suffix", &suffix);
    opts.flag("--json", &json);
    std::string error;
    const cli::Options::Outcome outcome = opts.parse(std::vector<std::string>(argv + 1, argv + argc), &error);
    const int done = cli::finishParse(opts, outcome, error, std::cout, std::cerr);
    if (done >= 0)
        return done;
    if (!setDir.empty()) {
        if (!truthPath.empty() || !trackingPath.empty() || !calibPath.empty() || json) {
            std::fprintf(stderr, "vestiga-eval: --set cannot be combined with --truth, --tracking, --calibration or --json\n%s",
                         kUsage);
            return 2;
        }
        return evalSet(setDir, suffix);
    }
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
