// The tracking-file reader on any text; on what it accepts: the frame of
// movie times (also extreme ones), the rate, the span by rate and the export.
#include "core/DescriptionFile.h"
#include "core/TrackingTable.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The first 8 bytes choose the times looked up; the rest is the file.
    int32_t a = 0, b = 0;
    if (size >= 8) {
        std::memcpy(&a, data, 4);
        std::memcpy(&b, data + 4, 4);
        data += 8;
        size -= 8;
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    glyphora::TrackingTable t;
    std::string error;
    if (!t.parse(text, "fuzz", &error)) {
        if (error.empty() || error.size() > 400 || !t.empty())
            std::abort();
        return 0;
    }
    const int n = t.lineCount();
    if (n < 1 || t.coords(0) == nullptr || t.timeCodes() == nullptr)
        std::abort();
    const media::MovieTime begin{a, 600, 0}, end{b, 600, 0};
    for (const media::MovieTime& time : {begin, end, media::MovieTime{INT64_MAX / 1000, 600, 0},
                                         media::MovieTime{-(INT64_MAX / 1000), 600, 0}}) {
        const int k = t.getFrameNb(time);
        if (k < 1 || k > n)
            std::abort();
    }
    const float rate = t.rate();
    (void)glyphora::spanByRate(begin, end, rate);
    std::string exported;
    if (glyphora::trackingExportText(t, begin, end, rate, exported, &error) && exported.size() > 4096)
        std::abort(); // 100 samples of "%f " and a header
    return 0;
}
