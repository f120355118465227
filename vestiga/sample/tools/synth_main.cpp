// vestiga-synth: renders a synthetic signer video with its calibration and
// ground truth, or a whole varied set of them.
#include "sample/SampleWriter.h"

#include "cli/Options.h"
#include "cli/Quote.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace {

const char* kUsage =
    "usage: vestiga-synth --out-dir DIR [--frames N] [--name NAME] [--look N] [--script NAME]\n"
    "                     [--size WxH] [--fps F] [--sleeves wrist|short] [--scale S] [--seed S]\n"
    "       vestiga-synth --set DIR [--seed S]\n"
    "  writes DIR/NAME.avi (Motion-JPEG), DIR/NAME.calib and DIR/NAME.truth\n"
    "  defaults: --frames (one pass of the script) --name signer --look 0 --script default\n"
    "            --size 640x480 --fps 25 --sleeves wrist --scale 1\n"
    "  looks 0 to 3; scripts default, crossing, face, quick, mixed; --seed also varies the\n"
    "  script's key poses and timing (the default script has no variants)\n"
    "  --set writes a varied set of eight signers and DIR/set.list (default seed 1)\n";

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
    std::string setDir, sleeves;
    bool framesGiven = false, seedGiven = false;
    int seed = 0;
    cli::Options opts("vestiga-synth", kUsage);
    opts.text("--out-dir", &req.outDir);
    opts.text("--set", &setDir);
    opts.integer("--frames", &req.frames, -1000000000LL, 1000000000LL, &framesGiven);
    opts.text("--name", &req.name);
    // The scene's own check (checkSceneOptions) gives the ranges of these.
    opts.integer("--look", &req.scene.look, -1000000000LL, 1000000000LL);
    opts.text("--script", &req.scene.script);
    opts.single("--size", [&req](const std::string& v) {
        return parseSize(v.c_str(), &req.scene.size) ? std::string() : "expected WIDTHxHEIGHT, got " + cli::quote(v);
    });
    opts.number("--fps", &req.scene.fps, {-1e9, 1e9});
    opts.number("--scale", &req.scene.personScale, {-1e9, 1e9});
    opts.choice("--sleeves", {"wrist", "short"}, &sleeves);
    opts.integer("--seed", &seed, 1, 4000000, &seedGiven);
    std::string error;
    const cli::Options::Outcome outcome = opts.parse(std::vector<std::string>(argv + 1, argv + argc), &error);
    const int done = cli::finishParse(opts, outcome, error, std::cout, std::cerr);
    if (done >= 0)
        return done;
    req.scene.shortSleeves = sleeves == "short";
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
        std::fprintf(stderr, "vestiga-synth: --out-dir is required\n%s", kUsage);
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
