#include "cli/Number.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace cli {

namespace {

std::string_view trimmed(std::string_view s)
{
    const char* ws = " \t\r\n\f\v";
    const size_t b = s.find_first_not_of(ws);
    if (b == std::string_view::npos)
        return {};
    return s.substr(b, s.find_last_not_of(ws) - b + 1);
}

// Whether the decimal text (already accepted by from_chars) has a magnitude
// below 1. Only asked for out-of-range results, where it tells an underflow
// (a tiny number) from an overflow: the decimal exponent of the leading
// nonzero digit plus the written exponent is negative.
bool belowOne(std::string_view s)
{
    const size_t e = std::min(s.find_first_of("eE"), s.size());
    long long exponent = 0;
    if (e < s.size()) {
        std::string_view x = s.substr(e + 1);
        bool negative = false;
        if (!x.empty() && (x[0] == '+' || x[0] == '-')) {
            negative = x[0] == '-';
            x.remove_prefix(1);
        }
        for (char c : x)
            if (exponent < 1000000000)
                exponent = exponent * 10 + (c - '0');
        if (negative)
            exponent = -exponent;
    }
    const std::string_view mantissa = s.substr(0, e);
    const long long point = static_cast<long long>(std::min(mantissa.find('.'), mantissa.size()));
    for (long long i = 0; i < static_cast<long long>(mantissa.size()); ++i) {
        const char c = mantissa[static_cast<size_t>(i)];
        if (c >= '1' && c <= '9') {
            const long long lead = i < point ? point - i - 1 : point - i;
            return lead + exponent < 0;
        }
    }
    return true; // all zeros
}

} // namespace

std::string limitText(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

std::string readNumber(std::string_view text, Range range, double* out)
{
    std::string_view t = trimmed(text);
    if (t.empty())
        return "is not a number (empty)";
    bool negative = false;
    std::string_view digits = t;
    if (digits[0] == '+' || digits[0] == '-') {
        negative = digits[0] == '-';
        digits.remove_prefix(1);
    }
    // Decimal digits, a point and an exponent only: from_chars alone would
    // also take "inf" and "nan", and a second sign after the first.
    if (digits.empty() || !(std::isdigit(static_cast<unsigned char>(digits[0])) || digits[0] == '.'))
        return "is not a number";
    double v = 0;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v, std::chars_format::general);
    if (r.ptr != digits.data() + digits.size() || (r.ec != std::errc() && r.ec != std::errc::result_out_of_range))
        return "is not a number";
    const std::string rangeText = "(" + limitText(range.lo) + " to " + limitText(range.hi) + ")";
    if (r.ec == std::errc::result_out_of_range) {
        if (!belowOne(digits))
            return "is out of range " + rangeText;
        v = 0; // below the smallest double: a tiny number, judged as zero
    }
    if (negative)
        v = -v;
    if (!std::isfinite(v) || !(v >= range.lo && v <= range.hi))
        return "is out of range " + rangeText;
    *out = v;
    return std::string();
}

std::string readInteger(std::string_view text, long long lo, long long hi, long long* out)
{
    double v = 0;
    std::string why = readNumber(text, Range{static_cast<double>(lo), static_cast<double>(hi)}, &v);
    if (!why.empty())
        return why;
    if (v != std::floor(v))
        return "is not a whole number";
    *out = static_cast<long long>(v);
    if (*out < lo || *out > hi) // the limits were rounded to doubles
        return "is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")";
    return std::string();
}

} // namespace cli
