// vestiga-eval: accuracy of a tracking file against the sample's ground truth.
#include "sample/Accuracy.h"

#include <cstdio>
#include <string>

namespace {

void usage(FILE* to) {
    std::fprintf(to,
                 "usage: vestiga-eval --truth FILE --tracking FILE --calibration FILE [--json]\n"
                 "       vestiga-eval --set DIR [--suffix SUFFIX]\n"
                 "  compares the hands and head of a tracking file (line i = video frame i) with the\n"
                 "  ground truth, in tracking units (1 = image-area height)\n"
                 "  --set: every NAME of DIR/set.list, its NAME.truth, NAME.calib and NAME SUFFIX\n"
                 "  (default '.track'), summed up in one table\n");
}

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
        } else if (a == "--set") {
            if (!value(&setDir)) return 2;
        } else if (a == "--suffix") {
            if (!value(&suffix)) return 2;
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
    if (!setDir.empty()) return evalSet(setDir, suffix);
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
