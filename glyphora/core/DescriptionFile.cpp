#include "core/DescriptionFile.h"

#include "core/TrackingTable.h"

#include "base/ReplaceFile.h"

#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <unistd.h>

namespace glyphora {

std::string formatFixed6(double v)
{
    if (!std::isfinite(v))
        v = 0.0;
    char buf[400];
    // std::to_chars with a precision formats as printf("%f") in the C locale.
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
    if (res.ec != std::errc())
        return "0.000000";
    return std::string(buf, res.ptr);
}

std::array<double, 4> relativePositions(const SignDescription& d)
{
    switch (d.symCat) {
    case 1:
        return {d.moyrx - d.moyhx, d.moyry - d.moyhy, d.moylx - d.moyrx, d.moyry - d.moyly};
    case 2:
        return {d.moylx - d.moyhx, d.moyly - d.moyhy, d.moylx - d.moyrx, d.moyly - d.moyry};
    default:
        // The sums in single precision, the halving and the head in double.
        return {(d.moylx + d.moyrx) * 0.5 - d.moyhx, (d.moyly + d.moyry) * 0.5 - d.moyhy,
                d.moyrx - d.moylx, std::fabs(d.moyly - d.moyry)};
    }
}

bool descriptionText(const DescriptionInputs& in, std::string& text, std::string* error)
{
    if (in.begin.scale <= 0) {
        if (error)
            *error = "the sign's begin time has no time scale";
        return false;
    }
    std::string out;
    const size_t slash = in.videoFile.rfind('/');
    out += slash == std::string::npos ? in.videoFile : in.videoFile.substr(slash + 1);
    out += ' ';
    // Tenths of a second, truncated toward zero, both on the begin time's scale.
    const int64_t b = (in.begin.value * 10) / in.begin.scale;
    const int64_t e = (in.end.value * 10) / in.begin.scale;
    out += std::to_string(static_cast<int>(b)) + ' ' + std::to_string(static_cast<int>(e)) + ' ';
    for (int i = 0; i < 50; ++i)
        out += std::to_string(in.configuration[i % 5][i / 5]);
    const SignDescription& d = in.values;
    out += std::to_string(d.movCat) + ' ';
    out += std::to_string(d.symCat) + ' ';
    out += formatFixed6(d.symAngle) + ' ';
    out += formatFixed6(d.orientation) + ' ';
    out += formatFixed6(d.amplitude) + ' ';
    const std::array<double, 4> rel = relativePositions(d);
    for (double v : rel)
        out += formatFixed6(v) + ' ';
    text.swap(out);
    return true;
}

std::string descriptionConsoleLine(const SignDescription& d)
{
    if (d.symCat != 1)
        return std::string();
    const std::array<double, 4> rel = relativePositions(d);
    std::string line;
    for (double v : rel)
        line += formatFixed6(v) + ' ';
    line += '\n';
    return line;
}

bool saveDescription(const std::string& exportName, const DescriptionInputs& in,
                     std::string* error, std::FILE* console)
{
    if (exportName.empty()) {
        if (error)
            *error = "no picture name has been chosen yet: save the picture first";
        return false;
    }
    std::string text;
    if (!descriptionText(in, text, error))
        return false;

    const std::string path = exportName + ".sgn";
    // Replaced whole or not at all: an existing description is never left
    // half written.
    std::string why;
    if (!base::replaceFile(path, text, &why)) {
        if (error)
            *error = "cannot write the description file " + path + ": " + why;
        return false;
    }
    if (console) {
        const std::string line = descriptionConsoleLine(in.values);
        if (!line.empty()) {
            std::fputs(line.c_str(), console);
            std::fflush(console);
        }
    }
    return true;
}

namespace {
// Below this length (tracking units, summed over the 20 samples inside the
// sign) the mean direction of the export is rounding noise.
constexpr double kUndefinedDirection = 1e-5;
} // namespace

bool trackingExportText(const TrackingTable& table, const media::MovieTime& begin,
                        const media::MovieTime& end, float rate, std::string& text,
                        std::string* error)
{
    const int n = table.lineCount();
    if (n <= 0) {
        if (error)
            *error = "no tracking file is loaded";
        return false;
    }
    if (begin.scale <= 0 || end.scale <= 0) {
        if (error)
            *error = "the sign's times have no time scale";
        return false;
    }
    // Sign span by rate, all in single precision.
    const float b = lineByRate(begin, rate);
    const float e = lineByRate(end, rate);
    const float L = e - b;
    const float s = L / 20;
    if (!std::isfinite(b) || !std::isfinite(L) || !std::isfinite(s)) {
        if (error)
            *error = "the sign's span by rate is not a finite number of lines";
        return false;
    }
    const float* X = table.coords(0);
    const float* Y = table.coords(1);

    // Hand 1 at line t, linear between lines floor(t) and floor(t) + 1 (the
    // products in double precision), t limited to the loaded lines 1..n.
    float sx[100], sy[100];
    for (int k = -40; k < 60; ++k) {
        const float t = static_cast<float>(k) * s + b;
        float vx, vy;
        if (!(t > 1.f)) {
            vx = X[1];
            vy = Y[1];
        } else if (!(t < static_cast<float>(n))) {
            vx = X[n];
            vy = Y[n];
        } else {
            const double f = std::floor(static_cast<double>(t));
            const int fi = static_cast<int>(f);
            const double w = static_cast<double>(t) - f;
            vx = static_cast<float>(X[fi] * (1.0 - w) + X[fi + 1] * w);
            vy = static_cast<float>(Y[fi] * (1.0 - w) + Y[fi + 1] * w);
        }
        sx[k + 40] = vx;
        sy[k + 40] = vy;
    }
    // Detrending: the line through the start (k = 0) and end (k = 20)
    // positions and its extension is removed.
    const float p0x = sx[40], p0y = sy[40];
    const float p1x = sx[60], p1y = sy[60];
    float dx[100], dy[100];
    for (int k = -40; k < 60; ++k) {
        dx[k + 40] = sx[k + 40] - p0x - k * (p1x - p0x) / 20;
        dy[k + 40] = sy[k + 40] - p0y - k * (p1y - p0y) / 20;
    }
    // Mean direction of the detrended movement inside the sign.
    float Sx = 0, Sy = 0;
    for (int k = 0; k < 20; ++k) {
        Sx += dx[k + 40];
        Sy += dy[k + 40];
    }
    // A movement that keeps to the straight line from start to end leaves
    // only rounding in (Sx, Sy) (about 1e-7 per sample): its direction is
    // undefined, like that of an exactly zero sum.
    const float sq = Sx * Sx + Sy * Sy;
    const double norm = std::sqrt(static_cast<double>(sq));
    const bool defined = norm > kUndefinedDirection && std::isfinite(norm);
    float ux = 0, uy = 0;
    if (defined) {
        ux = static_cast<float>(Sx / norm);
        uy = static_cast<float>(Sy / norm);
    }
    std::string out = "\nlegth : " + formatFixed6(L) + " \n";
    for (int k = 0; k < 100; ++k) {
        if (!defined) {
            out += "0.000000 ";
            continue;
        }
        const float proj = ux * dx[k] + uy * dy[k];
        out += formatFixed6(proj) + ' ';
    }
    text.swap(out);
    return true;
}

bool exportTracking(std::FILE* out, const TrackingTable& table, const media::MovieTime& begin,
                    const media::MovieTime& end, float rate, std::string* error)
{
    std::string text;
    if (!trackingExportText(table, begin, end, rate, text, error))
        return false;
    if (!out)
        return true;
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
        if (error)
            *error = "cannot write the tracking export";
        return false;
    }
    std::fflush(out);
    return true;
}

} // namespace glyphora
