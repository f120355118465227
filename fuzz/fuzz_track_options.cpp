// vestiga-track's option parser on any arguments (one per line): it accepts
// or refuses with a bounded message, and never crashes.
#include "FuzzArgs.h"
#include "TrackOptions.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vestiga::TrackArgs a;
    std::string error;
    if (!vestiga::parseTrackArgs(fuzzArguments(data, size), &a, &error)) {
        if (error.empty() || error.size() > 400)
            std::abort();
    } else if (!a.help && (a.video.empty() || a.tracking.empty() || a.referenceFrame < 0)) {
        std::abort();
    }
    return 0;
}
