// glyphora-render's option parser on any arguments (one per line): it accepts
// values in their ranges only, or refuses with a bounded message.
#include "FuzzArgs.h"
#include "RenderOptions.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    glyphora::RenderOptions o;
    std::string error;
    if (!glyphora::parseRenderOptions(fuzzArguments(data, size), o, &error)) {
        if (error.empty() || error.size() > 400)
            std::abort();
        return 0;
    }
    if (o.help)
        return 0;
    auto inside = [](double v, double lo, double hi) { return std::isfinite(v) && v >= lo && v <= hi; };
    if (!inside(o.begin, 0, glyphora::kMaxSeconds) || !inside(o.end, o.begin, glyphora::kMaxSeconds)
        || !inside(o.orientation, -360, 360) || o.keyFrames.empty() || o.keyFrames.size() > 20)
        std::abort();
    for (const auto& k : o.keyFrames)
        if (!inside(k.seconds, 0, glyphora::kMaxSeconds) || !(std::fabs(k.shift) < 1))
            std::abort();
    return 0;
}
