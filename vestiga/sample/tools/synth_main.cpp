// vestiga-synth: renders the synthetic signer video with its calibration and
// ground truth.
#include "sample/SampleWriter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void usage(FILE* to) {
    std::fprintf(to,
                 "usage: vestiga-synth --out-dir DIR [--frames N] [--name NAME]\n"
                 "  writes DIR/NAME.avi (Motion-JPEG, 640x480, 25 fps), DIR/NAME.calib and DIR/NAME.truth\n"
                 "  defaults: --frames 250 --name signer\n");
}

bool parseInt(const char* s, int* out) {
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (end == s || *end != '\0' || v < -1000000000L || v > 1000000000L) return false;
    *out = int(v);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    vsample::SampleRequest req;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* opt) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "vestiga-synth: %s needs a value\n", opt);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--out-dir") {
            req.outDir = value("--out-dir");
        } else if (a == "--frames") {
            const char* v = value("--frames");
            if (!parseInt(v, &req.frames)) {
                std::fprintf(stderr, "vestiga-synth: --frames expects a whole number, got '%s'\n", v);
                return 2;
            }
        } else if (a == "--name") {
            req.name = value("--name");
        } else if (a == "-h" || a == "--help") {
            usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "vestiga-synth: unknown argument '%s'\n", a.c_str());
            usage(stderr);
            return 2;
        }
    }
    if (req.outDir.empty()) {
        std::fprintf(stderr, "vestiga-synth: --out-dir is required\n");
        usage(stderr);
        return 2;
    }
    std::string error;
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
