// vestiga-synth: renders the synthetic signer video with its calibration and
// ground truth.
#include "sample/SampleWriter.h"

#include "cli/Options.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace {

const char* kUsage =
    "usage: vestiga-synth --out-dir DIR [--frames N] [--name NAME]\n"
    "  writes DIR/NAME.avi (Motion-JPEG, 640x480, 25 fps), DIR/NAME.calib and DIR/NAME.truth\n"
    "  defaults: --frames 250 --name signer\n";

} // namespace

int main(int argc, char** argv) {
    vsample::SampleRequest req;
    cli::Options opts("vestiga-synth", kUsage);
    opts.text("--out-dir", &req.outDir);
    opts.integer("--frames", &req.frames, -1000000000LL, 1000000000LL);
    opts.text("--name", &req.name);
    std::string error;
    const cli::Options::Outcome outcome = opts.parse(std::vector<std::string>(argv + 1, argv + argc), &error);
    const int done = cli::finishParse(opts, outcome, error, std::cout, std::cerr);
    if (done >= 0)
        return done;
    if (req.outDir.empty()) {
        std::fprintf(stderr, "vestiga-synth: --out-dir is required\n%s", kUsage);
        return 2;
    }
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
