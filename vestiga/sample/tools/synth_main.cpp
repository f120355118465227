// vestiga-synth: renders a synthetic signer video with its calibration and
// ground truth, or a whole varied set of them.
#include "sample/SampleWriter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void usage(FILE* to) {
    std::fprintf(to,
                 "usage: vestiga-synth --out-dir DIR [--frames N] [--name NAME] [--look N] [--script NAME]\n"
                 "                     [--size WxH] [--fps F] [--sleeves wrist|short] [--scale S] [--seed S]\n"
                 "       vestiga-synth --set DIR [--seed S]\n"
                 "  writes DIR/NAME.avi (Motion-JPEG), DIR/NAME.calib and DIR/NAME.truth\n"
                 "  defaults: --frames (one pass of the script) --name signer --look 0 --script default\n"
                 "            --size 640x480 --fps 25 --sleeves wrist --scale 1\n"
                 "  looks 0 to 3; scripts default, crossing, face, quick, mixed; --seed also varies the\n"
                 "  script's key poses and timing (the default script has no variants)\n"
                 "  --set writes a varied set of eight signers and DIR/set.list (default seed 1)\n");
}

bool parseInt(const char* s, int* out) {
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (end == s || *end != '\0' || v < -1000000000L || v > 1000000000L) return false;
    *out = int(v);
    return true;
}

bool parseReal(const char* s, double* out) {
    char* end = nullptr;
    double v = std::strtod(s, &end);
    if (end == s || *end != '\0' || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

bool parseSize(const char* s, cv::Size* out) {
    int w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(s, "%dx%d%c", &w, &h, &tail) != 2) return false;
    *out = cv::Size(w, h);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    vsample::SampleRequest req;
    std::string setDir;
    bool framesGiven = false, seedGiven = false;
    long long seed = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* opt) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "vestiga-synth: %s needs a value\n", opt);
                std::exit(2);
            }
            return argv[++i];
        };
        auto bad = [&](const char* opt, const char* what, const char* v) {
            std::fprintf(stderr, "vestiga-synth: %s expects %s, got '%s'\n", opt, what, v);
            return 2;
        };
        if (a == "--out-dir") {
            req.outDir = value("--out-dir");
        } else if (a == "--set") {
            setDir = value("--set");
        } else if (a == "--frames") {
            const char* v = value("--frames");
            if (!parseInt(v, &req.frames)) return bad("--frames", "a whole number", v);
            framesGiven = true;
        } else if (a == "--name") {
            req.name = value("--name");
        } else if (a == "--look") {
            const char* v = value("--look");
            if (!parseInt(v, &req.scene.look)) return bad("--look", "a whole number", v);
        } else if (a == "--script") {
            req.scene.script = value("--script");
        } else if (a == "--size") {
            const char* v = value("--size");
            if (!parseSize(v, &req.scene.size)) return bad("--size", "WIDTHxHEIGHT", v);
        } else if (a == "--fps") {
            const char* v = value("--fps");
            if (!parseReal(v, &req.scene.fps)) return bad("--fps", "a number", v);
        } else if (a == "--scale") {
            const char* v = value("--scale");
            if (!parseReal(v, &req.scene.personScale)) return bad("--scale", "a number", v);
        } else if (a == "--sleeves") {
            std::string v = value("--sleeves");
            if (v != "wrist" && v != "short") return bad("--sleeves", "'wrist' or 'short'", v.c_str());
            req.scene.shortSleeves = v == "short";
        } else if (a == "--seed") {
            const char* v = value("--seed");
            char* end = nullptr;
            seed = std::strtoll(v, &end, 10);
            if (end == v || *end != '\0' || seed < 1 || seed > 4000000) return bad("--seed", "a number from 1 to 4000000", v);
            seedGiven = true;
        } else if (a == "-h" || a == "--help") {
            usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "vestiga-synth: unknown argument '%s'\n", a.c_str());
            usage(stderr);
            return 2;
        }
    }
    std::string error;
    if (!setDir.empty()) {
        if (!req.outDir.empty()) {
            std::fprintf(stderr, "vestiga-synth: give either --out-dir or --set, not both\n");
            return 2;
        }
        auto set = vsample::variedSet(setDir, seedGiven ? uint32_t(seed) : 1u);
        if (!vsample::writeSet(set, setDir, &error, [](const std::string& name) {
                std::printf("vestiga-synth: wrote %s\n", name.c_str());
                std::fflush(stdout);
            })) {
            std::fprintf(stderr, "vestiga-synth: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    if (req.outDir.empty()) {
        std::fprintf(stderr, "vestiga-synth: --out-dir is required\n");
        usage(stderr);
        return 2;
    }
    if (seedGiven) {
        req.scene.seed = uint32_t(seed);
        req.scene.variant = uint32_t(seed);
    }
    const std::string why = vsample::checkSceneOptions(req.scene);
    if (!why.empty()) {
        std::fprintf(stderr, "vestiga-synth: %s\n", why.c_str());
        return 2;
    }
    if (!framesGiven) req.frames = vsample::SignerScene(req.scene).scriptFrames();
    if (!vsample::checkRequest(req, &error)) {
        std::fprintf(stderr, "vestiga-synth: %s\n", error.c_str());
        return 2;
    }
    if (!vsample::writeSample(req, &error)) {
        std::fprintf(stderr, "vestiga-synth: %s\n", error.c_str());
        return 1;
    }
    vsample::SamplePaths p = vsample::samplePaths(req);
    std::printf("vestiga-synth: wrote %s (%d frames), %s, %s\n", p.video.c_str(), req.frames,
                p.calibration.c_str(), p.truth.c_str());
    return 0;
}
