#pragma once
// A movie time as the desktop programs use it: a 64-bit time value counted in
// units of 1/scale second. Frame k of a video at fps frames per second stands
// at round(k * scale / fps); the sign-picture program uses the scale 600.
#include <cstdint>

namespace media {

struct MovieTime {
    int64_t value = 0;
    int32_t scale = 600;
    uint32_t flags = 0;

    double seconds() const { return scale ? double(value) / double(scale) : 0.0; }

    // The time of `seconds`, rounded to the nearest unit of 1/scale second.
    static MovieTime fromSeconds(double seconds, int32_t scale = 600);
    // The time at which frame k (counted from 0) of a video at fps starts.
    static MovieTime ofFrame(int64_t k, double fps, int32_t scale = 600);

    bool operator==(const MovieTime& o) const { return value == o.value && scale == o.scale; }
    bool operator!=(const MovieTime& o) const { return !(*this == o); }
};

// Index of the frame shown at time t: the last frame k whose start time
// MovieTime::ofFrame(k, fps, t.scale) is not after t (0 for earlier times).
int64_t frameAtTime(const MovieTime& t, double fps);

// "00:01:02.50": hours, minutes, seconds and hundredths of a movie time.
const char* formatTime(const MovieTime& t, char (&buf)[32]);

} // namespace media
