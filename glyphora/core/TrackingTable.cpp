#include "core/TrackingTable.h"

#include "cli/Files.h"
#include "cli/Quote.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <new>
#include <sstream>

namespace glyphora {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

bool blankLine(const std::string& line)
{
    for (char c : line)
        if (!isBlank(c))
            return false;
    return true;
}

std::string lineError(const std::string& name, long long lineNo, const std::string& what)
{
    std::ostringstream os;
    os << "tracking file " << name << ", line " << lineNo << ": " << what;
    return os.str();
}

// Splits one line into exactly seven finite numbers. Numbers are read in the
// C locale's form (a point as decimal separator) whatever the program locale.
bool parseLine(const std::string& line, float (&v)[7], std::string& what)
{
    const char* p = line.data();
    const char* end = p + line.size();
    int count = 0;
    while (true) {
        while (p < end && isBlank(*p))
            ++p;
        if (p == end)
            break;
        const char* tokEnd = p;
        while (tokEnd < end && !isBlank(*tokEnd))
            ++tokEnd;
        const std::string token(p, tokEnd);
        if (count == 7) {
            what = "more than 7 numbers";
            return false;
        }
        const char* q = p;
        if (q < tokEnd && *q == '+')
            ++q;
        float value = 0.f;
        const auto res = std::from_chars(q, tokEnd, value, std::chars_format::general);
        if (res.ec == std::errc::result_out_of_range) {
            what = cli::quote(token) + " is out of range";
            return false;
        }
        if (res.ec != std::errc() || res.ptr != tokEnd || (q != p && (*q == '+' || *q == '-'))) {
            what = cli::quote(token) + " is not a number";
            return false;
        }
        if (!std::isfinite(value)) {
            what = cli::quote(token) + " is not a finite number";
            return false;
        }
        v[count++] = value;
        p = tokEnd;
    }
    if (count < 7) {
        what = "expected 7 numbers, found " + std::to_string(count);
        return false;
    }
    return true;
}

} // namespace

bool TrackingTable::load(const std::string& path, std::string* error)
{
    // Bounded: a day of video tracks into a few tens of megabytes; a wrong
    // name ("/dev/zero", a video) ends in a message, not in exhausted memory.
    std::string text, why;
    if (!cli::readTextFile(path, cli::kTrackingFileMax, &text, &why)) {
        if (error)
            *error = "tracking file " + path + ": " + why;
        return false;
    }
    return parse(text, path, error);
}

bool TrackingTable::parse(const std::string& text, const std::string& name, std::string* error)
{
    try {
        std::vector<float> cols[kColumns];
        std::vector<float> times;
        for (auto& c : cols)
            c.push_back(0.f);
        times.push_back(0.f);

        // Every line, the last one also without a newline; trailing blank
        // lines are allowed, blank lines between tracking lines are not.
        long long lineNo = 0;
        long long firstTrailingBlank = 0;
        size_t pos = 0;
        while (pos < text.size()) {
            size_t nl = text.find('\n', pos);
            if (nl == std::string::npos)
                nl = text.size();
            const std::string line = text.substr(pos, nl - pos);
            pos = nl + 1;
            ++lineNo;
            if (blankLine(line)) {
                if (!firstTrailingBlank)
                    firstTrailingBlank = lineNo;
                continue;
            }
            if (firstTrailingBlank) {
                if (error)
                    *error = lineError(name, firstTrailingBlank, "empty line");
                return false;
            }
            if (static_cast<long long>(times.size()) > kMaxLines) {
                if (error)
                    *error = lineError(name, lineNo,
                                       "the file has more than " + std::to_string(kMaxLines) +
                                           " lines");
                return false;
            }
            float v[7];
            std::string what;
            if (!parseLine(line, v, what)) {
                if (error)
                    *error = lineError(name, lineNo, what);
                return false;
            }
            for (int c = 0; c < kColumns; ++c)
                cols[c].push_back(v[c]);
            times.push_back(v[6]);
        }
        const int n = static_cast<int>(times.size()) - 1;
        if (n == 0) {
            if (error)
                *error = "tracking file " + name + " is empty (no tracking line)";
            return false;
        }
        // The first reading pass leaves the last line's time in entry 0.
        times[0] = times[n];

        // Rate over the leading run of strictly increasing time codes.
        int run = 1;
        while (run < n && times[run + 1] > times[run])
            ++run;
        float rate = 0.f;
        if (run >= 2)
            rate = static_cast<float>(static_cast<double>(run - 1) * 1000.0 /
                                      (static_cast<double>(times[run]) - static_cast<double>(times[1])));

        for (int c = 0; c < kColumns; ++c)
            coords_[c].swap(cols[c]);
        timeCode_.swap(times);
        n_ = n;
        rate_ = rate;
        return true;
    } catch (const std::bad_alloc&) {
        if (error)
            *error = "tracking file " + name + " is too large for the available memory";
        return false;
    }
}

const float* TrackingTable::coords(int c) const
{
    if (c < 0 || c >= kColumns || coords_[c].empty())
        return nullptr;
    return coords_[c].data();
}

int TrackingTable::getFrameNb(const media::MovieTime& time) const
{
    if (n_ == 0)
        return 0;
    const int64_t ms = time.scale > 0 ? (time.value * 1000) / time.scale : 0;
    const float t = static_cast<float>(ms);
    int n = 1;
    while (n < n_ && t > timeCode_[n])
        ++n;
    return n;
}

float lineByRate(const media::MovieTime& time, float rate)
{
    if (time.scale <= 0)
        return 0.f;
    return static_cast<float>(time.value) * rate / static_cast<float>(time.scale);
}

LineSpan spanByRate(const media::MovieTime& begin, const media::MovieTime& end, float rate)
{
    LineSpan span;
    const float b = lineByRate(begin, rate);
    const float e = lineByRate(end, rate);
    const float d = e - b;
    // Values beyond the int range cannot be lines; they give 0 like NaN.
    auto toInt = [](float v) {
        return (std::isfinite(v) && std::fabs(v) < 2147483520.f) ? static_cast<int>(v) : 0;
    };
    span.first = toInt(b);
    span.duration = toInt(d);
    return span;
}

} // namespace glyphora
