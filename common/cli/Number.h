#pragma once
// The one reader of numbers typed by a user or found in a text file: decimal
// notation only ("12", "-0.5", "+3", "1e-3"), surrounding blanks allowed. It
// refuses what would otherwise be read with a meaning the user did not give:
// hexadecimal ("0x10"), "inf", "nan", trailing text ("12s"), and a value
// outside the caller's range. A magnitude too small for a double ("1e-400")
// reads as a signed zero, so "1e-50" is an ordinary tiny number that the range
// check then judges; a magnitude too large for a double is out of range.
#include <string>
#include <string_view>

namespace cli {

// The closed interval [lo, hi] a number must lie in.
struct Range {
    double lo;
    double hi;
};

// Why `text` is not a number in `range`, or an empty string with the value in
// *out. The message is a phrase to follow a name: "is not a number",
// "is out of range (0 to 360)".
std::string readNumber(std::string_view text, Range range, double* out);

// A whole number in [lo, hi] written in decimal ("12", also "12.0" and
// "1e3"); "1.5" is not whole.
std::string readInteger(std::string_view text, long long lo, long long hi, long long* out);

// The shortest text of a limit in messages: "0", "1e+06", "0.5".
std::string limitText(double v);

} // namespace cli
