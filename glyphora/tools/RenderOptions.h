#pragma once
// The command line of glyphora-render, parsed into plain values.
#include <string>
#include <vector>

namespace glyphora {

struct KeyFrameOption {
    double seconds = 0.0;
    double shift = 0.0; // fraction of the picture width
};

struct RenderOptions {
    std::string video;
    std::string tracking;
    std::string output;       // NAME: NAME.jpg and NAME.sgn are written
    double begin = -1.0;      // seconds
    double end = -1.0;        // seconds
    std::vector<KeyFrameOption> keyFrames; // default: one at begin, one at end
    std::vector<int> hiddenKeyFrames;      // counted from 0
    int pattern = 0;
    bool patternGiven = false;
    int symmetry = 0;
    bool symmetryGiven = false;
    double orientation = 0.0;
    bool right = true;        // the R arrow (hand 2)
    bool left = true;         // the L arrow (hand 1)
    double rightOffsetX = 0.0, rightOffsetY = 0.0;
    double leftOffsetX = 0.0, leftOffsetY = 0.0;
    std::vector<int> configuration; // grid positions 0..49 that are on
    int width = 0, height = 0;      // arrow view size; 0: the video's frame size
    bool help = false;

    // One picture per annotation of a tier (--eaf): then -o, --begin, --end
    // and --keyframe are not given; key frames are placed by --keyframe-at,
    // fractions of each sign's span (default 0 and 1).
    std::string eaf;
    std::string tier;
    std::string outDir;
    std::vector<double> keyFramesAt;
};

// Times beyond this many seconds (about 115 days) are refused: no video is
// that long, and movie times must stay far inside 64-bit integers.
constexpr double kMaxSeconds = 1e7;

// Parses argv[1..argc-1]. On failure returns false with a message naming the
// argument and the problem. Checks what can be checked without the files:
// values, ranges, the begin/end order, at most 20 key frames, hidden key
// frames that exist. With -h / --help: true and `help` set.
bool parseRenderOptions(int argc, const char* const* argv, RenderOptions& options, std::string* error);
bool parseRenderOptions(const std::vector<std::string>& args, RenderOptions& options, std::string* error);

const char* renderUsage();

} // namespace glyphora
