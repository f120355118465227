#pragma once
// The tracking of one video as the sign-picture program reads it: one line per
// tracked frame, six positions (hand 1 x, y; hand 2 x, y; head x, y) in units
// of the tracking picture's height, y growing downwards, and the frame's time
// in milliseconds. Lines are counted from 1; index 0 of every column is not a
// line (it exists so that line k is simply column[k]).
#include "media/MovieTime.h"

#include <string>
#include <vector>

namespace glyphora {

class TrackingTable {
public:
    // The time-code table of the program holds 10,000,000 entries, index 0
    // included: a tracking file has at most 9,999,999 lines.
    static constexpr int kMaxLines = 9999999;
    static constexpr int kColumns = 6;

    TrackingTable() = default;

    // Reads a tracking file: every complete line, also a last line without a
    // newline, each holding exactly seven finite numbers separated by blanks.
    // Trailing blank lines are ignored. On failure (file cannot be read, empty
    // file, a malformed line, more lines than kMaxLines) returns false with a
    // message naming the file and the line in *error, and the table keeps what
    // it held before.
    bool load(const std::string& path, std::string* error = nullptr);
    // The same reading from text already in memory; `name` is used in messages.
    bool parse(const std::string& text, const std::string& name, std::string* error = nullptr);

    bool empty() const { return n_ == 0; }
    // Number of loaded lines n (0 before any load).
    int lineCount() const { return n_; }

    // Column c (0..5) as an array indexed by line 0..n (entry 0 is not a line
    // and holds 0); nullptr while nothing is loaded. The pointers stay valid
    // until the next successful load.
    const float* coords(int c) const;
    // The time of line k in milliseconds (1 <= k <= n). Entry 0 holds the time
    // of the last line, as the first reading pass of the file leaves it.
    float timeCode(int k) const { return timeCode_[k]; }
    const float* timeCodes() const { return timeCode_.empty() ? nullptr : timeCode_.data(); }

    // Tracking lines per second of movie time. After a load it is derived from
    // the time codes: over the leading run of n' lines whose time codes
    // strictly increase, (n' - 1) * 1000 / (t_n' - t_1) (0 with fewer than two
    // such lines). setRate overrides it until the next load.
    float rate() const { return rate_; }
    void setRate(float r) { rate_ = r; }

    // The tracking line of a movie time: t = (value * 1000) / scale in 64-bit
    // integers truncated toward zero, as a float; the first line whose time
    // code is not below t, line 1 for any time at or before the first line, and
    // the last line n for any time after it. Returns 0 when nothing is loaded.
    int getFrameNb(const media::MovieTime& time) const;

private:
    std::vector<float> coords_[kColumns];
    std::vector<float> timeCode_;
    int n_ = 0;
    float rate_ = 0.f;
};

// Position of a movie time on the tracking lines by `rate`: value * rate /
// scale, all in single precision (value and scale converted to floats first).
// 0 when the scale is not positive.
float lineByRate(const media::MovieTime& time, float rate);

// The sign's first line and length by rate: first = trunc(b), duration =
// trunc(e - b), with b and e the begin and end times by lineByRate. The
// duration is negative when the end lies before the begin. Non-finite values
// give 0.
struct LineSpan {
    int first = 0;
    int duration = 0;
};
LineSpan spanByRate(const media::MovieTime& begin, const media::MovieTime& end, float rate);

} // namespace glyphora
