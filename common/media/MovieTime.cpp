#include "MovieTime.h"

#include <cmath>
#include <cstdio>

namespace media {

MovieTime MovieTime::fromSeconds(double seconds, int32_t scale)
{
    MovieTime t;
    t.scale = scale;
    t.value = static_cast<int64_t>(std::llround(seconds * scale));
    return t;
}

MovieTime MovieTime::ofFrame(int64_t k, double fps, int32_t scale)
{
    MovieTime t;
    t.scale = scale;
    t.value = fps > 0 ? static_cast<int64_t>(std::llround(double(k) * scale / fps)) : 0;
    return t;
}

int64_t frameAtTime(const MovieTime& t, double fps)
{
    if (fps <= 0 || t.scale <= 0 || t.value <= 0)
        return 0;
    // Start from the real-valued estimate and settle on the exact rounded grid.
    int64_t k = static_cast<int64_t>(std::floor(double(t.value) * fps / t.scale)) + 1;
    while (k > 0 && MovieTime::ofFrame(k, fps, t.scale).value > t.value)
        --k;
    while (MovieTime::ofFrame(k + 1, fps, t.scale).value <= t.value)
        ++k;
    return k;
}

const char* formatTime(const MovieTime& t, char (&buf)[32])
{
    int64_t hundredths = t.scale > 0 ? (t.value * 100) / t.scale : 0;
    if (hundredths < 0)
        hundredths = 0;
    const int64_t h = hundredths / 360000;
    const int64_t m = (hundredths / 6000) % 60;
    const int64_t s = (hundredths / 100) % 60;
    const int64_t c = hundredths % 100;
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld.%02lld", (long long)h, (long long)m,
                  (long long)s, (long long)c);
    return buf;
}

} // namespace media
